#include "dynamic_library.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() { Close(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), descriptor_(std::exchange(other.descriptor_, -1)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

namespace {

// Whether the library behind handle was mapped from the file with this
// identity. The loader knows a library it has loaded by the name it was
// opened under first: a library still loaded under the descriptor name
// of a closed descriptor would be handed out again for a new file opened
// with the same number.
bool IsMappedFrom(void* handle, const struct stat& file) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return false;
    const auto address = reinterpret_cast<std::uintptr_t>(map->l_ld);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::uintptr_t start = 0, end = 0;
        unsigned long long offset = 0, inode = 0;
        unsigned major = 0, minor = 0;
        char permissions[5] = {};
        if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " %4s %llx %x:%x %llu", &start, &end, permissions,
                        &offset, &major, &minor, &inode) != 7)
            continue;
        if (address >= start && address < end)
            return inode == file.st_ino && major == major(file.st_dev) && minor == minor(file.st_dev);
    }
    return false;
}

// Tries a few descriptor numbers before giving up on a name that is taken.
constexpr int kDescriptorAttempts = 8;

}  // namespace

bool DynamicLibrary::Open(const std::string& path) {
    Close();
    // What is loaded is the file checked here, not whatever the name
    // points to a moment later.
    descriptor_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info {};
    if (descriptor_ < 0 || fstat(descriptor_, &info) != 0 || !S_ISREG(info.st_mode)) {
        Close();
        return false;
    }
    for (int attempt = 0; attempt < kDescriptorAttempts; ++attempt) {
        // RTLD_LOCAL keeps one plug-in's symbols from satisfying another's.
        const std::string opened = "/proc/self/fd/" + std::to_string(descriptor_);
        handle_ = dlopen(opened.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr || IsMappedFrom(handle_, info)) break;
        // Another library holds this name: try under another number.
        dlclose(handle_);
        handle_ = nullptr;
        const int other = fcntl(descriptor_, F_DUPFD_CLOEXEC, descriptor_ + 1);
        close(descriptor_);
        descriptor_ = other;
        if (descriptor_ < 0) break;
    }
    if (handle_ == nullptr) Close();
    return handle_ != nullptr;
}

void DynamicLibrary::Close() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
    if (descriptor_ >= 0) {
        close(descriptor_);
        descriptor_ = -1;
    }
}

void* DynamicLibrary::Symbol(const char* name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace platform
