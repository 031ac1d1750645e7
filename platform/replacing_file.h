#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QString>

namespace platform {

// New contents for the file at a path (raw bytes): they are written beside
// it under a temporary name and take its place only when Commit succeeds,
// so no half-written file ever carries the name. Until then, and after any
// failed step, the old file is untouched and the temporary file removed.
// A link is followed to the file it names; a replaced file keeps its
// permission bits, a new one gets the usual ones (umask).
class ReplacingFile {
public:
    // Null with the reason when the temporary file cannot be made.
    static std::unique_ptr<ReplacingFile> Create(const std::string& path, QString& reason);

    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Writes all count bytes; false with the reason otherwise.
    bool Write(const void* data, std::int64_t count, QString& reason);
    // Flushes the new contents to the disk and puts them in place.
    bool Commit(QString& reason);

private:
    ReplacingFile(std::string target, std::string temporary, int descriptor);
    void Discard();

    std::string target_;
    std::string temporary_;
    int descriptor_;
};

}  // namespace platform
