#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace platform {

// Conversions between Unicode text and code page 932 (Shift-JIS with the
// vendor extensions), the encoding of texts in files shared with the
// Windows program.

// A character that code page 932 cannot represent becomes one '?', so the
// result always has the length and the readable parts the user expects.
std::string ToCodePage932(const QString& text);

// A byte sequence that is not valid code page 932 (a stray trail byte, a
// lead byte cut off at the end) becomes one U+FFFD per offending byte.
QString FromCodePage932(std::string_view bytes);

// The length of the longest prefix of bytes (valid code page 932) that
// fits in limit bytes without splitting a double-byte character.
std::size_t CodePage932Prefix(std::string_view bytes, std::size_t limit);

}  // namespace platform
