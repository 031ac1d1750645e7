#pragma once

#include <string>

namespace platform {

// A shared library opened with dlopen; closed when the object goes.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

    // Closes any library held, then opens path. False when it cannot be
    // loaded (missing file, not a regular file, not a library, unresolved
    // symbols). A FIFO or a device is never handed to the loader, which
    // would block on it or read it as a library.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;

private:
    void* handle_ = nullptr;
    // The checked file, kept open while the library is loaded: the loader
    // opens it again by its descriptor's name, and no other library can
    // get that name meanwhile.
    int descriptor_ = -1;
};

}  // namespace platform
