#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Anonymous shared memory that another process may map by name: a memory
// file of this process, reachable as OtherProcessPath() for as long as this
// object lives. It leaves nothing behind in any folder, whatever way the
// program ends.
class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Makes a block of at least bytes (a whole number of pages); false
    // with the system's reason when there is no memory for it.
    bool Create(std::size_t bytes, std::string& reason);
    // Grows the block to at least bytes; a block large enough stays as it
    // is, with its contents. The address may change.
    bool Reserve(std::size_t bytes, std::string& reason);

    char* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    // The path under which another process of this user opens the block.
    std::string OtherProcessPath() const;

private:
    void Release();

    int descriptor_ = -1;
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform
