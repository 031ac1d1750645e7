#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A folder mirrored read-write through the slow FUSE file system
// (tests/slowfs) at a mount point of its own, for tests and benchmarks of
// slow and hung mounts. Every call on the mount waits the delay first;
// calls on a hung path (or below it) never answer until the mount goes.
//
// The mount goes with the object, also while calls hang in it: it is
// detached lazily and the file system's program killed, which fails the
// hung calls. The program also dies with the thread that made the object,
// so a crashed test leaves no live mount behind. Make it on the main thread.
//
// A test that cannot have such a mount skips:
//     if (const std::string reason = TSlowMount::Unavailable(); !reason.empty()) GTEST_SKIP() << reason;
class TSlowMount {
public:
    struct TOptions {
        std::chrono::milliseconds delay{0};
        // Relative to the mount's root, as "stuck" or "a/b"; "/" hangs every call.
        std::vector<std::string> hungPaths;
    };

    // Why no slow mount can be had here (no usable /dev/fuse, no
    // fusermount3); empty when one can.
    static std::string Unavailable();

    // Mounts source at mnt/ in a new folder under the temporary folder (so
    // that whoever lists the temporary folder does not touch the mount)
    // and returns
    // once the mount exists, without touching it (a hung root must not
    // stop the start). Mounted() and Error() tell how it went.
    TSlowMount(const std::string& source, const TOptions& options);
    ~TSlowMount();
    TSlowMount(const TSlowMount&) = delete;
    TSlowMount& operator=(const TSlowMount&) = delete;

    bool Mounted() const { return program_ > 0; }
    const std::string& Error() const { return error_; }
    // The mount point; it and its folder are removed after the unmount.
    const std::string& Path() const { return mountPoint_; }
    std::string File(const std::string& name) const { return mountPoint_ + "/" + name; }

    // Detaches the mount, ends the program and removes the mount point;
    // returns at once even while calls hang. Nothing is done a second time.
    void Unmount();

private:
    void Start(const std::string& source, const TOptions& options);
    void AwaitReady(int readyFd);

    std::string folder_;
    std::string mountPoint_;
    std::string error_;
    pid_t program_ = -1;
};

// Whether path is a mount point in this process's view, read from the
// system's mount table without touching the mount itself.
bool IsMountPoint(const std::string& path);
