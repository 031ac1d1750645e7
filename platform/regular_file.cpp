#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/file_operations.h"

namespace platform {

QString NotRegularFileReason(unsigned mode) {
    if (S_ISREG(mode)) return QString();
    if (S_ISDIR(mode)) return QStringLiteral("ファイルではなくフォルダです。");
    if (S_ISFIFO(mode)) return QStringLiteral("通常のファイルではなく名前付きパイプ (FIFO) です。");
    if (S_ISSOCK(mode)) return QStringLiteral("通常のファイルではなくソケットです。");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("通常のファイルではなくデバイスです。");
    return QStringLiteral("通常のファイルではありません。");
}

std::optional<RegularFile> RegularFile::Open(const std::string& path, QString& reason) {
    int errorNumber = 0;
    return Open(path, reason, errorNumber);
}

std::optional<RegularFile> RegularFile::Open(const std::string& path, QString& reason, int& errorNumber) {
    errorNumber = 0;
    // O_NONBLOCK: opening a FIFO without a writer returns at once instead
    // of waiting for one; it does not change how a regular file is read.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        errorNumber = errno;
        reason = FileErrorText(errorNumber);
        return std::nullopt;
    }
    RegularFile file(descriptor);
    struct stat info {};
    if (fstat(descriptor, &info) != 0) {
        errorNumber = errno;
        reason = FileErrorText(errorNumber);
        return std::nullopt;
    }
    reason = NotRegularFileReason(info.st_mode);
    if (!reason.isEmpty()) return std::nullopt;
    file.identity_ = IdentityOf(info);
    return file;
}

RegularFile::~RegularFile() {
    if (descriptor_ >= 0) close(descriptor_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), identity_(other.identity_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) close(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        identity_ = other.identity_;
    }
    return *this;
}

std::int64_t RegularFile::Read(void* data, std::int64_t count, QString& reason) {
    auto* at = static_cast<char*>(data);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t got = read(descriptor_, at + done, static_cast<std::size_t>(count - done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reason = FileErrorText(errno);
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

}  // namespace platform
