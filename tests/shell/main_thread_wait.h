#pragma once

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "support/event_wait.h"

// Helpers for tests of the watcher threads, whose reports reach the main
// thread as queued calls.

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
