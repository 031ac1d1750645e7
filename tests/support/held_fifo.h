#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

// A named pipe that the test itself holds open at both ends, with bytes
// waiting in it. Code that opens it for reading is therefore never stuck
// in open and finds data to read; Unread shows whether it took any. Code
// that refuses pipes leaves the bytes where they are.
class HeldFifo {
public:
    HeldFifo(const std::string& path, const std::string& bytes) {
        if (mkfifo(path.c_str(), 0600) != 0) return;
        descriptor_ = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (descriptor_ >= 0 && write(descriptor_, bytes.data(), bytes.size()) == ssize_t(bytes.size()))
            ready_ = true;
    }
    ~HeldFifo() {
        if (descriptor_ >= 0) close(descriptor_);
    }
    HeldFifo(const HeldFifo&) = delete;
    HeldFifo& operator=(const HeldFifo&) = delete;

    // The pipe exists and holds the bytes.
    bool Ready() const { return ready_; }
    // Bytes still waiting in the pipe.
    int Unread() const {
        int count = -1;
        ioctl(descriptor_, FIONREAD, &count);
        return count;
    }

private:
    int descriptor_ = -1;
    bool ready_ = false;
};
