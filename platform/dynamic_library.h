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
    // loaded (missing file, not a library, unresolved symbols).
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;

private:
    void* handle_ = nullptr;
};

}  // namespace platform
