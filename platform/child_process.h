#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// A program started with its standard input and output on pipes to us and
// its error output discarded. Ended when the object goes: its input is
// closed, and a child that has not left shortly after is killed.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (looked up on PATH when it has no slash) with the
    // arguments (the first is the program's name) and exactly the given
    // environment ("NAME=value"). False, with the system's reason, when it
    // cannot be started.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, std::string& reason);
    bool IsStarted() const { return pid_ > 0; }
    // The child's process id while it runs, else -1.
    pid_t ProcessId() const { return pid_; }

    // Writes all bytes to the child's input; false when the child no longer
    // reads (it left or closed it). Never raises SIGPIPE.
    bool Write(const void* data, std::size_t bytes);

    enum class ReadResult { Done, Closed, TimedOut, Stopped };
    // Reads exactly bytes from the child's output, waiting at most
    // idleTimeout for each piece to arrive. While it waits, stopWaiting
    // (when given) is asked every few milliseconds; when it says so, the
    // read gives up.
    ReadResult Read(void* data, std::size_t bytes, std::chrono::milliseconds idleTimeout,
                    const std::function<bool()>& stopWaiting = {});

    // Closes the child's input and waits up to grace for it to leave; kills
    // it after that. The child is reaped either way.
    void Stop(std::chrono::milliseconds grace);
    // Kills the child at once and reaps it.
    void Kill();

private:
    void CloseDescriptors();
    bool Reaped(std::chrono::milliseconds wait);

    pid_t pid_ = -1;
    int input_ = -1;   // our end of the child's standard input
    int output_ = -1;  // our end of the child's standard output
};

// The environment of this process, one "NAME=value" per entry.
std::vector<std::string> CurrentEnvironment();
// Sets NAME in an environment, replacing an earlier value; drops it.
void SetEnvironmentValue(std::vector<std::string>& environment, const std::string& name, const std::string& value);
void RemoveEnvironmentValue(std::vector<std::string>& environment, const std::string& name);
// The value of NAME in an environment, "" when absent.
std::string EnvironmentValue(const std::vector<std::string>& environment, const std::string& name);

// The full path of program found on the PATH of environment (or as given,
// when it holds a slash), "" when there is no such executable file.
std::string FindExecutable(const std::string& program, const std::vector<std::string>& environment);

}  // namespace platform
