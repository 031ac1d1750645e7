#include "slow_mount.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Generous: the program only has to start and make one system call.
constexpr int kStartLimitMs = 20000;

std::string FindOnPath(const std::string& program) {
    const char* path = getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::string();
}

// The arguments as a null-terminated vector that stays valid while the
// strings do; made before fork, since the child may only exec.
std::vector<char*> ArgumentVector(std::vector<std::string>& arguments) {
    std::vector<char*> vector;
    for (std::string& argument : arguments) vector.push_back(argument.data());
    vector.push_back(nullptr);
    return vector;
}

int WaitFor(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return status;
}

// Runs a program with arguments and waits for it; its output goes where the test's goes.
void RunAndWait(std::vector<std::string> arguments) {
    const std::vector<char*> vector = ArgumentVector(arguments);
    const pid_t child = fork();
    if (child == 0) {
        execvp(vector[0], vector.data());
        _exit(127);
    }
    if (child > 0) WaitFor(child);
}

std::string ExitText(int status) {
    if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "ended";
}

// A mount table field with its escapes (\040 for a blank) undone.
std::string Unescaped(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

}  // namespace

std::string TSlowMount::Unavailable() {
    const int fuse = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) return std::string("no usable /dev/fuse: ") + std::strerror(errno);
    close(fuse);
    if (FindOnPath("fusermount3").empty()) return "fusermount3 is not installed (Debian package fuse3)";
    return std::string();
}

TSlowMount::TSlowMount(const std::string& source, const TOptions& options) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvandor-mount-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        error_ = std::string("cannot make a mount point: ") + std::strerror(errno);
        return;
    }
    folder_ = pattern;
    mountPoint_ = folder_ + "/mnt";
    if (mkdir(mountPoint_.c_str(), 0700) != 0) {
        error_ = std::string("cannot make a mount point: ") + std::strerror(errno);
        return;
    }
    Start(source, options);
}

TSlowMount::~TSlowMount() { Unmount(); }

void TSlowMount::Start(const std::string& source, const TOptions& options) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        error_ = std::string("cannot make a pipe: ") + std::strerror(errno);
        return;
    }
    std::vector<std::string> arguments = {KELVANDOR_SLOWFS, "--delay-ms=" + std::to_string(options.delay.count()),
                                          "--ready-fd=" + std::to_string(ready[1])};
    for (const std::string& path : options.hungPaths) arguments.push_back("--hang=" + path);
    arguments.push_back(source);
    arguments.push_back(mountPoint_);
    const std::vector<char*> vector = ArgumentVector(arguments);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        fcntl(ready[1], F_SETFD, 0);
        execv(vector[0], vector.data());
        _exit(127);
    }
    close(ready[1]);
    if (child < 0) {
        error_ = std::string("cannot start the slow file system: ") + std::strerror(errno);
    } else {
        program_ = child;
        AwaitReady(ready[0]);
    }
    close(ready[0]);
}

// The program writes one byte once mounted; a failed start closes the
// pipe without it.
void TSlowMount::AwaitReady(int readyFd) {
    pollfd wait{readyFd, POLLIN, 0};
    int polled = 0;
    do {
        polled = poll(&wait, 1, kStartLimitMs);
    } while (polled < 0 && errno == EINTR);
    char byte = 0;
    if (polled == 1 && read(readyFd, &byte, 1) == 1) return;
    kill(program_, SIGKILL);
    const int status = WaitFor(program_);
    program_ = -1;
    error_ = KELVANDOR_SLOWFS + std::string(" did not mount ") + mountPoint_ + ": " +
             (polled == 0 ? std::string("no answer") : ExitText(status));
}

void TSlowMount::Unmount() {
    if (program_ > 0) {
        // Detached first, so that nothing new enters; the kill then fails
        // whatever still hangs in it, which no unmount could end.
        RunAndWait({"fusermount3", "-u", "-z", "-q", mountPoint_});
        kill(program_, SIGKILL);
        WaitFor(program_);
        program_ = -1;
    }
    if (folder_.empty() || IsMountPoint(mountPoint_)) return;
    rmdir(mountPoint_.c_str());
    rmdir(folder_.c_str());
}

bool IsMountPoint(const std::string& path) {
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        if (Unescaped(mountPoint) == path) return true;
    }
    return false;
}
