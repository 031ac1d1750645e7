#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

// Tests run as root, whom no permission stops. A case about a refusal runs
// here instead: in a forked child that has given up root for the
// unprivileged "nobody" (65534). True when check returned true there; a
// child that does not finish within the limit is killed and counts as
// failed. Folders the child must reach need their search bits for others.
inline bool RunUnprivileged(const std::function<bool()>& check,
                            std::chrono::seconds limit = std::chrono::seconds(30)) {
    constexpr uid_t kNobody = 65534;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (setresgid(kNobody, kNobody, kNobody) != 0 || setresuid(kNobody, kNobody, kNobody) != 0) _exit(2);
        const bool passed = check();
        std::fflush(nullptr);
        _exit(passed ? 0 : 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
