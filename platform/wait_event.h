#pragma once

#include <chrono>
#include <optional>
#include <span>

namespace platform {

// A flag one thread raises and another thread waits for. A manual-reset
// event stays set until cleared; an automatic-reset event is cleared by the
// wait that reports it. It is backed by an eventfd, so one wait can combine
// several events with a file descriptor.
class WaitEvent {
public:
    enum class ResetMode { Manual, Automatic };

    explicit WaitEvent(ResetMode mode);
    ~WaitEvent();
    WaitEvent(const WaitEvent&) = delete;
    WaitEvent& operator=(const WaitEvent&) = delete;

    // False when the system had no descriptor left for the event.
    bool IsValid() const { return fd_ >= 0; }
    ResetMode Mode() const { return mode_; }
    int Fd() const { return fd_; }

    void Set();
    void Clear();

    // For an automatic-reset event: clears it and says whether it was set.
    // A manual-reset event is only reported, never cleared here.
    bool TryConsume();

private:
    int fd_;
    ResetMode mode_;
};

// What WaitForAny reports besides the index of a ready source.
constexpr int kWaitTimedOut = -1;
constexpr int kWaitFailed = -2;

// Waits until one of events is set or fd (unless -1) is readable, or the
// time-out passes (none: no time-out). Returns the index of the first set
// event in the order given, clearing it when it resets automatically;
// events.size() when only fd is readable; kWaitTimedOut or kWaitFailed.
// Like a wait on several handles, the lower index wins when several are
// ready at once.
int WaitForAny(std::span<WaitEvent* const> events, int fd,
               std::optional<std::chrono::milliseconds> timeout);

}  // namespace platform
