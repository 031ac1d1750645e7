#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "platform/file_operations.h"

extern char** environ;

namespace platform {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& text : strings) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Ignores a SIGPIPE raised by a write on this thread: the write's EPIPE
// says the same, and the signal would end the program.
class PipeSignalBlock {
public:
    PipeSignalBlock() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigpending(&pending_);
        pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
    }
    ~PipeSignalBlock() {
        if (!sigismember(&pending_, SIGPIPE)) {
            const timespec noWait{};
            while (sigtimedwait(&pipe_, nullptr, &noWait) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    PipeSignalBlock(const PipeSignalBlock&) = delete;
    PipeSignalBlock& operator=(const PipeSignalBlock&) = delete;

private:
    sigset_t pipe_{};
    sigset_t saved_{};
    sigset_t pending_{};
};

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

ChildProcess::~ChildProcess() { Stop(std::chrono::milliseconds(500)); }

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, std::string& reason) {
    Kill();
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
        reason = FileErrorText(errno).toStdString();
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
            if (fd >= 0) close(fd);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal handling and no blocked signals.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);
    const int failed = posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(toChild[0]);
    close(fromChild[1]);
    if (failed != 0) {
        pid_ = -1;
        close(toChild[1]);
        close(fromChild[0]);
        reason = FileErrorText(failed).toStdString();
        return false;
    }
    input_ = toChild[1];
    output_ = fromChild[0];
    return true;
}

bool ChildProcess::Write(const void* data, std::size_t bytes) {
    if (input_ < 0) return false;
    const PipeSignalBlock block;
    const auto* at = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t put = write(input_, at, bytes);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        at += put;
        bytes -= static_cast<std::size_t>(put);
    }
    return true;
}

ChildProcess::ReadResult ChildProcess::Read(void* data, std::size_t bytes, std::chrono::milliseconds idleTimeout,
                                            const std::function<bool()>& stopWaiting) {
    if (output_ < 0) return ReadResult::Closed;
    constexpr std::chrono::milliseconds kStopCheck{20};
    auto* at = static_cast<char*>(data);
    auto deadline = std::chrono::steady_clock::now() + idleTimeout;
    while (bytes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return ReadResult::TimedOut;
        pollfd ready{output_, POLLIN, 0};
        const auto wait = stopWaiting ? std::min(left, kStopCheck) : left;
        const int polled = poll(&ready, 1, static_cast<int>(wait.count()));
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0) {
            if (stopWaiting && stopWaiting()) return ReadResult::Stopped;
            continue;
        }
        const ssize_t got = read(output_, at, bytes);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return ReadResult::Closed;
        at += got;
        bytes -= static_cast<std::size_t>(got);
        deadline = std::chrono::steady_clock::now() + idleTimeout;
    }
    return ReadResult::Done;
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) return;
    if (input_ >= 0) close(input_);
    input_ = -1;
    if (!Reaped(grace)) Kill();
    CloseDescriptors();
}

void ChildProcess::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    CloseDescriptors();
}

void ChildProcess::CloseDescriptors() {
    for (int* fd : {&input_, &output_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

bool ChildProcess::Reaped(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const pid_t done = waitpid(pid_, nullptr, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            pid_ = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) environment.emplace_back(*entry);
    return environment;
}

namespace {

bool IsEntryOf(const std::string& entry, const std::string& name) {
    return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=';
}

}  // namespace

void SetEnvironmentValue(std::vector<std::string>& environment, const std::string& name, const std::string& value) {
    RemoveEnvironmentValue(environment, name);
    environment.push_back(name + "=" + value);
}

void RemoveEnvironmentValue(std::vector<std::string>& environment, const std::string& name) {
    std::erase_if(environment, [&](const std::string& entry) { return IsEntryOf(entry, name); });
}

std::string EnvironmentValue(const std::vector<std::string>& environment, const std::string& name) {
    for (const std::string& entry : environment)
        if (IsEntryOf(entry, name)) return entry.substr(name.size() + 1);
    return std::string();
}

std::string FindExecutable(const std::string& program, const std::vector<std::string>& environment) {
    if (program.empty()) return std::string();
    if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : std::string();
    const std::string path = EnvironmentValue(environment, "PATH");
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string folder = end > start ? path.substr(start, end - start) : std::string(".");
        const std::string candidate = folder + "/" + program;
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return std::string();
}

}  // namespace platform
