#pragma once

#include <string>
#include <string_view>

#include <QString>

// File-system paths carried in QStrings. Linux names are bytes that need
// not be UTF-8, and QFile::encodeName/decodeName lose every other byte. A
// path QString made here keeps them all: valid UTF-8 becomes its text, and
// each byte outside it becomes the lone surrogate U+DC80..U+DCFF (byte
// 0x80..0xFF), which decoded UTF-8 never holds. PathBytes turns such a
// string back into exactly the bytes it came from. Qt's own file classes
// would re-encode these strings lossily, so the bytes are what goes to
// the file system.
namespace platform {

QString PathText(std::string_view bytes);
std::string PathBytes(const QString& text);

// The text of a path or name for the user: the kept bytes and control
// characters become U+FFFD, one character each, so the text is as long
// as PathText's.
QString ShownText(const QString& pathText);

// The bytes of a name the user edited from its shown text: the parts at
// the start and the end that the user left alone keep the bytes of
// oldName, what was typed between them is UTF-8. An unchanged text gives
// oldName itself.
std::string EditedNameBytes(std::string_view oldName, const QString& edited);

}  // namespace platform
