// A FUSE file system for tests and benchmarks that mirrors a folder
// read-write, slowly: every call waits a set time before it is carried out,
// and calls on chosen paths never answer. Nothing is cached in the kernel,
// so every look at the mount reaches this program.
//
// Usage: slowfs [--delay-ms=N] [--hang=PATH]... [--ready-fd=FD] SOURCE MOUNTPOINT
//   --delay-ms  each call waits N milliseconds first.
//   --hang      a call on PATH (relative to the mount's root; "/" for all)
//               or below it blocks until the program ends.
//   --ready-fd  one byte is written there once the mount exists, then the
//               descriptor is closed; a start that fails closes it unwritten.
//
// It runs in the foreground and ends when the mount is unmounted. A call
// that hangs keeps the mount alive until the program is killed, which
// fails that call with "not connected". SIGTERM ends it at once: no signal
// handlers are installed, so a hung call never has to be unwound.
#define FUSE_USE_VERSION 312

#include <dirent.h>
#include <fcntl.h>
#include <fuse3/fuse.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::string source;
    std::string mountPoint;
    std::chrono::milliseconds delay{0};
    std::vector<std::string> hungPaths;
    int readyFd = -1;
};

Options options;

bool Below(const std::string& path, const std::string& folder) {
    if (folder == "/") return true;
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              path[folder.size()] == '/');
}

// Never returns when path is hung; otherwise waits the delay.
void Arrive(const char* path) {
    for (const std::string& hung : options.hungPaths)
        if (Below(path, hung))
            for (;;) pause();
    if (options.delay.count() > 0) std::this_thread::sleep_for(options.delay);
}

void Arrive(const char* path, const char* other) {
    Arrive(path);
    for (const std::string& hung : options.hungPaths)
        if (Below(other, hung))
            for (;;) pause();
}

std::string Real(const char* path) { return options.source + path; }

int Result(int status) { return status < 0 ? -errno : 0; }

int GetAttr(const char* path, struct stat* info, fuse_file_info* file) {
    Arrive(path);
    if (file != nullptr) return Result(fstat(static_cast<int>(file->fh), info));
    return Result(lstat(Real(path).c_str(), info));
}

int ReadLink(const char* path, char* buffer, size_t size) {
    Arrive(path);
    const ssize_t length = readlink(Real(path).c_str(), buffer, size - 1);
    if (length < 0) return -errno;
    buffer[length] = '\0';
    return 0;
}

int MakeNode(const char* path, mode_t mode, dev_t device) {
    Arrive(path);
    return Result(mknod(Real(path).c_str(), mode, device));
}

int MakeFolder(const char* path, mode_t mode) {
    Arrive(path);
    return Result(mkdir(Real(path).c_str(), mode));
}

int Unlink(const char* path) {
    Arrive(path);
    return Result(unlink(Real(path).c_str()));
}

int RemoveFolder(const char* path) {
    Arrive(path);
    return Result(rmdir(Real(path).c_str()));
}

int SymbolicLink(const char* target, const char* path) {
    Arrive(path);
    return Result(symlink(target, Real(path).c_str()));
}

int Rename(const char* from, const char* to, unsigned int flags) {
    Arrive(from, to);
    return Result(renameat2(AT_FDCWD, Real(from).c_str(), AT_FDCWD, Real(to).c_str(), flags));
}

int HardLink(const char* from, const char* to) {
    Arrive(from, to);
    return Result(link(Real(from).c_str(), Real(to).c_str()));
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info* file) {
    Arrive(path);
    if (file != nullptr) return Result(fchmod(static_cast<int>(file->fh), mode));
    return Result(chmod(Real(path).c_str(), mode));
}

int ChangeOwner(const char* path, uid_t user, gid_t group, fuse_file_info* file) {
    Arrive(path);
    if (file != nullptr) return Result(fchown(static_cast<int>(file->fh), user, group));
    return Result(lchown(Real(path).c_str(), user, group));
}

int Truncate(const char* path, off_t size, fuse_file_info* file) {
    Arrive(path);
    if (file != nullptr) return Result(ftruncate(static_cast<int>(file->fh), size));
    return Result(truncate(Real(path).c_str(), size));
}

int SetTimes(const char* path, const struct timespec times[2], fuse_file_info* file) {
    Arrive(path);
    if (file != nullptr) return Result(futimens(static_cast<int>(file->fh), times));
    return Result(utimensat(AT_FDCWD, Real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int Open(const char* path, fuse_file_info* file) {
    Arrive(path);
    const int handle = open(Real(path).c_str(), file->flags | O_CLOEXEC);
    if (handle < 0) return -errno;
    file->fh = static_cast<uint64_t>(handle);
    return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* file) {
    Arrive(path);
    const int handle = open(Real(path).c_str(), file->flags | O_CLOEXEC, mode);
    if (handle < 0) return -errno;
    file->fh = static_cast<uint64_t>(handle);
    return 0;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    Arrive(path);
    const ssize_t count = pread(static_cast<int>(file->fh), buffer, size, offset);
    return count < 0 ? -errno : static_cast<int>(count);
}

int Write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    Arrive(path);
    const ssize_t count = pwrite(static_cast<int>(file->fh), buffer, size, offset);
    return count < 0 ? -errno : static_cast<int>(count);
}

int FileSystemStatus(const char* path, struct statvfs* status) {
    Arrive(path);
    return Result(statvfs(Real(path).c_str(), status));
}

int Release(const char* path, fuse_file_info* file) {
    Arrive(path);
    return Result(close(static_cast<int>(file->fh)));
}

int Sync(const char* path, int dataOnly, fuse_file_info* file) {
    Arrive(path);
    const int handle = static_cast<int>(file->fh);
    return Result(dataOnly != 0 ? fdatasync(handle) : fsync(handle));
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    Arrive(path);
    const std::unique_ptr<DIR, DirCloser> dir(opendir(Real(path).c_str()));
    if (!dir) return -errno;
    while (const dirent* entry = readdir(dir.get())) {
        struct stat info {};
        info.st_ino = entry->d_ino;
        info.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &info, 0, fuse_fill_dir_flags{}) != 0) break;
    }
    return 0;
}

// No caching in the kernel: attributes, names and file contents are asked
// for every time, so the delay and the hang apply to every look.
void* Init(fuse_conn_info*, fuse_config* config) {
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->kernel_cache = 0;
    config->use_ino = 1;
    return nullptr;
}

fuse_operations Operations() {
    fuse_operations operations{};
    operations.getattr = GetAttr;
    operations.readlink = ReadLink;
    operations.mknod = MakeNode;
    operations.mkdir = MakeFolder;
    operations.unlink = Unlink;
    operations.rmdir = RemoveFolder;
    operations.symlink = SymbolicLink;
    operations.rename = Rename;
    operations.link = HardLink;
    operations.chmod = ChangeMode;
    operations.chown = ChangeOwner;
    operations.truncate = Truncate;
    operations.open = Open;
    operations.read = Read;
    operations.write = Write;
    operations.statfs = FileSystemStatus;
    operations.release = Release;
    operations.fsync = Sync;
    operations.readdir = ReadFolder;
    operations.init = Init;
    operations.create = Create;
    operations.utimens = SetTimes;
    return operations;
}

[[noreturn]] void Usage(const char* problem) {
    std::fprintf(stderr,
                 "slowfs: %s\nusage: slowfs [--delay-ms=N] [--hang=PATH]... [--ready-fd=FD] SOURCE MOUNTPOINT\n",
                 problem);
    std::exit(2);
}

int Number(const char* text, const char* option) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 1000000) Usage(option);
    return static_cast<int>(value);
}

// A hung path as the calls name it: one leading slash, no trailing one.
std::string CallPath(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path.empty() || path[0] != '/' ? "/" + path : path;
}

Options Parse(int argc, char** argv) {
    Options parsed;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--delay-ms=", 0) == 0) {
            parsed.delay = std::chrono::milliseconds(Number(argv[i] + 11, "bad --delay-ms"));
        } else if (argument.rfind("--hang=", 0) == 0) {
            parsed.hungPaths.push_back(CallPath(argument.substr(7)));
        } else if (argument.rfind("--ready-fd=", 0) == 0) {
            parsed.readyFd = Number(argv[i] + 11, "bad --ready-fd");
        } else if (argument.rfind("--", 0) == 0) {
            Usage(("unknown option " + argument).c_str());
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) Usage("a source folder and a mount point are needed");
    char* source = realpath(positional[0].c_str(), nullptr);
    if (source == nullptr) Usage(("no such source folder: " + positional[0]).c_str());
    parsed.source = source;
    std::free(source);
    if (parsed.source == "/") parsed.source.clear();
    parsed.mountPoint = positional[1];
    return parsed;
}

void TellReady() {
    if (options.readyFd < 0) return;
    const char byte = 1;
    if (write(options.readyFd, &byte, 1) != 1) std::perror("slowfs: ready");
    close(options.readyFd);
}

struct FuseDeleter {
    void operator()(fuse* handle) const { fuse_destroy(handle); }
};
struct LoopConfigDeleter {
    void operator()(fuse_loop_config* config) const { fuse_loop_cfg_destroy(config); }
};

}  // namespace

int main(int argc, char** argv) {
    options = Parse(argc, argv);
    char program[] = "slowfs";
    char* fuseArguments[] = {program, nullptr};
    fuse_args arguments = FUSE_ARGS_INIT(1, fuseArguments);
    const fuse_operations operations = Operations();
    const std::unique_ptr<fuse, FuseDeleter> filesystem(fuse_new(&arguments, &operations, sizeof operations, nullptr));
    if (!filesystem || fuse_mount(filesystem.get(), options.mountPoint.c_str()) != 0) {
        std::fprintf(stderr, "slowfs: cannot mount %s\n", options.mountPoint.c_str());
        return 1;
    }
    TellReady();
    // Every hung call keeps a thread; the others still need some.
    const std::unique_ptr<fuse_loop_config, LoopConfigDeleter> loop(fuse_loop_cfg_create());
    fuse_loop_cfg_set_max_threads(loop.get(), 256);
    const int status = fuse_loop_mt(filesystem.get(), loop.get());
    fuse_unmount(filesystem.get());
    return status == 0 ? 0 : 1;
}
