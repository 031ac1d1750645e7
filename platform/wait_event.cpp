#include "wait_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// poll()'s time-out argument for what is left until deadline.
int PollTimeout(const std::optional<Clock::time_point>& deadline) {
    if (!deadline) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool IsReadable(const pollfd& entry) { return (entry.revents & POLLIN) != 0; }

bool IsBroken(const pollfd& entry) { return (entry.revents & (POLLERR | POLLNVAL)) != 0; }

}  // namespace

WaitEvent::WaitEvent(ResetMode mode)
    : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), mode_(mode) {}

WaitEvent::~WaitEvent() {
    if (fd_ >= 0) close(fd_);
}

void WaitEvent::Set() {
    const std::uint64_t one = 1;
    // The counter only overflows after 2^64 - 2 unconsumed sets; a failed
    // write then still leaves the event set.
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void WaitEvent::Clear() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = read(fd_, &count, sizeof count);
}

bool WaitEvent::TryConsume() {
    if (mode_ == ResetMode::Manual) return true;
    std::uint64_t count = 0;
    return read(fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

int WaitForAny(std::span<WaitEvent* const> events, int fd,
               std::optional<std::chrono::milliseconds> timeout) {
    std::vector<pollfd> entries;
    entries.reserve(events.size() + 1);
    for (WaitEvent* event : events) {
        if (!event->IsValid()) return kWaitFailed;
        entries.push_back(pollfd{event->Fd(), POLLIN, 0});
    }
    if (fd >= 0) entries.push_back(pollfd{fd, POLLIN, 0});

    std::optional<Clock::time_point> deadline;
    if (timeout) deadline = Clock::now() + *timeout;
    for (;;) {
        const int ready = poll(entries.data(), entries.size(), PollTimeout(deadline));
        if (ready < 0 && errno != EINTR) return kWaitFailed;
        if (ready == 0) return kWaitTimedOut;
        if (ready > 0) {
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (IsBroken(entries[i])) return kWaitFailed;
                // Another waiter may have consumed an automatic event first.
                if (IsReadable(entries[i]) && events[i]->TryConsume()) return static_cast<int>(i);
            }
            if (fd >= 0) {
                const pollfd& extra = entries.back();
                if (IsReadable(extra)) return static_cast<int>(events.size());
                if (IsBroken(extra)) return kWaitFailed;
            }
        }
        if (deadline && Clock::now() >= *deadline) return kWaitTimedOut;
    }
}

}  // namespace platform
