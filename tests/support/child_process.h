#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

// Runs body in a forked child and returns its exit code (125 when body
// threw), or 128 + the number of the signal that ended it. For what must not touch the test
// process itself: resource limits, signals, running out of memory. The
// child ends with _exit, so nothing of the parent's state is torn down
// twice.
inline int RunInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        // Nothing may leave the body: the child would go on with the rest
        // of the test program.
        int code = 125;
        try {
            code = body();
        } catch (...) {
        }
        _exit(code);
    }
    if (child < 0) return -1;
    int status = 0;
    pid_t waited = -1;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
