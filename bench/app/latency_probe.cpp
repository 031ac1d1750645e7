#include "latency_probe.h"

#include <time.h>

#include <algorithm>
#include <cmath>

namespace latency_probe {

double MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double ProcessCpuMilliseconds() {
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

Probe::Probe() {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { Fired(); });
}

void Probe::Start() {
    samples_.clear();
    armed_ = Clock::now();
    timer_.start(kTick);
}

void Probe::Stop() {
    timer_.stop();
    const double overdue = MillisecondsBetween(armed_, Clock::now()) - static_cast<double>(kTick.count());
    if (overdue > 0) samples_.push_back(overdue);
}

void Probe::Fired() {
    const Clock::time_point now = Clock::now();
    samples_.push_back(std::max(0.0, MillisecondsBetween(armed_, now) - static_cast<double>(kTick.count())));
    armed_ = now;
    timer_.start(kTick);
}

Watchdog::Watchdog(Clock::time_point deadline, std::function<void()> unstick) {
    thread_ = std::thread([this, deadline, unstick = std::move(unstick)] {
        std::unique_lock guard(lock_);
        if (wake_.wait_until(guard, deadline, [this] { return done_; })) return;
        fired_ = true;
        guard.unlock();
        unstick();
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard guard(lock_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool Watchdog::Fired() const {
    std::lock_guard guard(lock_);
    return fired_;
}

}  // namespace latency_probe
