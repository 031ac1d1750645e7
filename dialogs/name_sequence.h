#pragma once

#include <cstdint>
#include <string>

#include <QString>

// What the numbered-name dialogs share: the characters names may not hold
// and the zero-padded sequence numbers.

// True when text holds a character file names may not contain here or on
// the systems files are shared with.
bool HasForbiddenCharacter(const QString& text);
// "ファイル名には次の文字は使えません。" and the list of those characters.
QString ForbiddenCharacterMessage();

// start + position × increment in decimal, zero-padded to at least digits
// places ("" when digits is 0). 64-bit arithmetic: the numbers never wrap.
std::string SequenceNumberText(int digits, std::int64_t start, std::int64_t increment, std::int64_t position);

// Text as file-name bytes.
std::string FileNameBytes(const QString& text);
