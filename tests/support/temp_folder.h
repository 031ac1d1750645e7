#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // The path of prefix followed by number, as "f7"; built by appending,
    // which GCC 12 at -O3 does not mistake for an overlapping copy.
    std::string File(const std::string& prefix, int number) const;

    // Writes bytes to name in the folder and returns the full path.
    std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) const;
    std::string Write(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};

// The whole contents of a file; empty when it cannot be read.
std::vector<unsigned char> ReadFileBytes(const std::string& path);

// Whether anything is at path, a dangling link too.
bool Exists(const std::string& path);

// Makes the named folders in temp; a failure fails the test.
void MakeFolders(const TempFolder& temp, std::initializer_list<std::string> names);

// Writes a file of count bytes at path, for tests that look at sizes.
void WriteBytes(const std::string& path, std::size_t count);

// Runs a shell command line; true when it exited with 0.
bool RunCommand(const std::string& commandLine);
