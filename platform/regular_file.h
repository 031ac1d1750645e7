#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <QString>

#include "platform/folder_scan.h"

namespace platform {

// A file opened for reading that is known to be a regular file. What was
// opened is checked, not the name beforehand, so a FIFO or a device put in
// place of a file can neither block the program nor be read as data.
class RegularFile {
public:
    // Opens without blocking on FIFOs or devices, then checks the opened
    // descriptor. Null with the reason (to show the user) otherwise;
    // errorNumber is then the system's error, or 0 when something other
    // than a regular file was opened.
    static std::optional<RegularFile> Open(const std::string& path, QString& reason, int& errorNumber);
    static std::optional<RegularFile> Open(const std::string& path, QString& reason);

    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;

    // The size when the file was opened.
    std::int64_t Size() const { return identity_.size; }
    // Which file was opened, and its version then.
    const FileIdentity& Identity() const { return identity_; }

    // Reads until count bytes are in or the file ends; the number read,
    // or -1 with the reason.
    std::int64_t Read(void* data, std::int64_t count, QString& reason);

private:
    explicit RegularFile(int descriptor) : descriptor_(descriptor) {}

    int descriptor_ = -1;
    FileIdentity identity_;
};

// Why a file of this kind (st_mode) cannot be read as data; empty for a
// regular file.
QString NotRegularFileReason(unsigned mode);

}  // namespace platform
