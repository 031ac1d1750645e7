#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

// A named pipe that the test plug-in reads in GetPicture ("hold=") until
// the test, its writer, lets go: a plug-in call that returns only when the
// test says so.
class PluginHold {
public:
    explicit PluginHold(std::string path) : path_(std::move(path)) { mkfifo(path_.c_str(), 0600); }
    ~PluginHold() { Release(); }
    PluginHold(const PluginHold&) = delete;
    PluginHold& operator=(const PluginHold&) = delete;

    std::string Words() const { return "hold=" + path_; }
    // Whether the plug-in is inside GetPicture: a writer gets the pipe
    // without waiting only once its reader has it.
    bool Entered() {
        if (writer_ < 0) writer_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        return writer_ >= 0;
    }
    // Lets the plug-in return. Only after Entered: a reader that comes
    // later would wait for a writer for good.
    void Release() {
        if (writer_ >= 0) close(writer_);
        writer_ = -1;
    }

private:
    std::string path_;
    int writer_ = -1;
};
