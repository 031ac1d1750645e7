#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QEventLoop>

// Helpers for tests of the watcher threads, whose reports reach the main
// thread as queued calls.

// Runs the main thread's queued calls until done() holds or limit passes;
// returns done(). The limit is a generous deadline, not a measurement.
inline bool ProcessEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline void ProcessEventsFor(std::chrono::milliseconds span) {
    ProcessEventsUntil([] { return false; }, span);
}

// Ends the test program when a step does not finish in time: a stop that
// deadlocks would otherwise hang the whole run.
class HangGuard {
public:
    explicit HangGuard(std::chrono::seconds limit)
        : watchdog_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!released_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fputs("hang guard: a step did not finish, ending the tests\n", stderr);
                  std::abort();
              }
          }) {}
    ~HangGuard() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        released_.notify_all();
        watchdog_.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool done_ = false;
    std::thread watchdog_;
};
