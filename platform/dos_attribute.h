#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/shell_file_info.h"

// The Samba attribute record (user.DOSATTRIB): the attribute word as hex
// text ("0x21"), in newer records followed by a NUL and a binary record
// of a version 1 to 5 that repeats the word and can carry a creation
// time. Samba believes the binary word when there is one, so both are
// always written alike.
namespace platform {

struct DosAttribute {
    std::uint32_t Attributes = 0;
    FileTime CreationTime;  // zero when the record carries none
};

// The record in value: the binary word where the binary record holds a
// valid one, else the text's; nothing when the value is not a record.
std::optional<DosAttribute> ParseDosAttribute(std::string_view value);

// A new record: the text and a version 4 binary record with the creation
// time, or the text alone when there is no creation time.
std::string DosAttributeValue(const DosAttribute& attribute);

// stored (a file's value, possibly empty) with the word and, when not
// zero, the creation time of attribute, in stored's form: a text record
// stays text while it need not carry a time, a binary record keeps its
// version and every field it holds beside these. A value that is no
// known record is replaced by a new one.
std::string UpdatedDosAttributeValue(std::string_view stored, const DosAttribute& attribute);

// The raw value of path's record; nothing when it has none or it cannot
// be read.
std::optional<std::string> ReadDosAttributeValue(const std::string& path);

// Writes value as path's record. The owner of a read-only file may write
// it too: the write permission is lent for the moment of the write.
// 0 on success, else the errno.
int WriteDosAttributeValue(const std::string& path, const std::string& value);

}  // namespace platform
