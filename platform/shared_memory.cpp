#include "shared_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_operations.h"

namespace platform {
namespace {

std::size_t WholePages(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (std::max<std::size_t>(bytes, 1) + page - 1) / page * page;
}

}  // namespace

SharedMemory::~SharedMemory() { Release(); }

void SharedMemory::Release() {
    if (data_ != nullptr) munmap(data_, size_);
    if (descriptor_ >= 0) close(descriptor_);
    data_ = nullptr;
    size_ = 0;
    descriptor_ = -1;
}

bool SharedMemory::Create(std::size_t bytes, std::string& reason) {
    Release();
    descriptor_ = memfd_create("kelvandor-shared", MFD_CLOEXEC);
    if (descriptor_ < 0) {
        reason = FileErrorText(errno).toStdString();
        return false;
    }
    return Reserve(bytes, reason);
}

bool SharedMemory::Reserve(std::size_t bytes, std::string& reason) {
    if (descriptor_ < 0) {
        reason = FileErrorText(EBADF).toStdString();
        return false;
    }
    if (data_ != nullptr && bytes <= size_) return true;
    const std::size_t size = WholePages(bytes);
    if (ftruncate(descriptor_, static_cast<off_t>(size)) != 0) {
        reason = FileErrorText(errno).toStdString();
        return false;
    }
    void* mapped = data_ != nullptr ? mremap(data_, size_, size, MREMAP_MAYMOVE)
                                    : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor_, 0);
    if (mapped == MAP_FAILED) {
        reason = FileErrorText(errno).toStdString();
        return false;
    }
    data_ = static_cast<char*>(mapped);
    size_ = size;
    return true;
}

std::string SharedMemory::OtherProcessPath() const {
    return "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(descriptor_);
}

}  // namespace platform
