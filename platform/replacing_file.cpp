#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>

#include "platform/file_operations.h"

namespace platform {
namespace {

constexpr int kNameAttempts = 100;

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The file a link leads to (a dangling one included), or path itself.
std::string FollowedPath(const std::string& path) {
    std::string followed = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (lstat(followed.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        char target[PATH_MAX];
        const ssize_t length = readlink(followed.c_str(), target, sizeof target);
        if (length <= 0 || length == ssize_t(sizeof target)) break;
        const std::string link(target, std::size_t(length));
        followed = link.front() == '/' ? link : Join(ParentPath(followed), link);
    }
    return followed;
}

// A new, empty file beside target under an unused hidden name; -1 with
// errno set when none can be made.
int CreateTemporary(const std::string& target, std::string& temporary) {
    std::random_device source;
    std::mt19937_64 random(source());
    const std::string folder = ParentPath(target);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
        temporary = Join(folder, std::string(".kelvandor-") + suffix);
        const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

}  // namespace

std::unique_ptr<ReplacingFile> ReplacingFile::Create(const std::string& path, QString& reason) {
    const std::string target = FollowedPath(path);
    std::string temporary;
    const int descriptor = CreateTemporary(target, temporary);
    if (descriptor < 0) {
        reason = FileErrorText(errno);
        return nullptr;
    }
    std::unique_ptr<ReplacingFile> file(new ReplacingFile(target, temporary, descriptor));
    struct stat old {};
    if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) && fchmod(descriptor, old.st_mode & 07777) != 0) {
        reason = FileErrorText(errno);
        return nullptr;
    }
    return file;
}

ReplacingFile::ReplacingFile(std::string target, std::string temporary, int descriptor)
    : target_(std::move(target)), temporary_(std::move(temporary)), descriptor_(descriptor) {}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

bool ReplacingFile::Write(const void* data, std::int64_t count, QString& reason) {
    const auto* bytes = static_cast<const char*>(data);
    while (count > 0 && descriptor_ >= 0) {
        const ssize_t written = write(descriptor_, bytes, std::size_t(count));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            reason = written < 0 ? FileErrorText(errno) : QStringLiteral("書き込みが途中で止まりました。");
            Discard();
            return false;
        }
        bytes += written;
        count -= written;
    }
    return descriptor_ >= 0;
}

bool ReplacingFile::Commit(QString& reason) {
    if (descriptor_ < 0) return false;
    // Flushed before the rename, so a crash leaves the old or the new
    // contents under the name, never an empty file.
    const bool flushed = fsync(descriptor_) == 0;
    const int flushError = errno;
    const bool closed = close(descriptor_) == 0;
    descriptor_ = -1;
    if (!flushed || !closed) {
        reason = FileErrorText(flushed ? errno : flushError);
        Discard();
        return false;
    }
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        reason = FileErrorText(errno);
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace platform
