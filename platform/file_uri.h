#pragma once

#include <optional>
#include <string>

// file:// URIs and percent-encoding of raw path bytes, as the clipboard
// formats and the trash's info files use them. Every byte outside the
// unreserved set and '/' is escaped, so any file name round-trips.
namespace platform {

std::string PercentEncode(const std::string& bytes);

// Decodes %XX escapes; a '%' not followed by two hex digits stays as it is.
std::string PercentDecode(const std::string& text);

// "file://" + the encoded absolute path.
std::string FileUri(const std::string& absolutePath);

// The local path of a file URI ("file:///p", "file://localhost/p",
// "file:/p"); nothing for other schemes, remote hosts or relative paths.
std::optional<std::string> PathFromFileUri(const std::string& uri);

}  // namespace platform
