#pragma once

// How late the main thread answers: a 5 ms timer re-armed each time it
// fires, whose lateness is kept while a scenario runs; and a watchdog that
// frees a main thread stuck past a scenario's deadline, so that a benchmark
// of a window that hangs still ends.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QObject>
#include <QTimer>

namespace latency_probe {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kTick{5};

// Milliseconds from one point to another.
double MillisecondsBetween(Clock::time_point from, Clock::time_point to);

// The CPU time of all the process's threads so far, in milliseconds.
double ProcessCpuMilliseconds();

// The value below which the given share (0..1) of the values lie, by the
// nearest rank; 0 when there are none.
double Percentile(std::vector<double> values, double share);

// Lateness of the timer in milliseconds, every firing between Start and
// Stop; Stop also counts a firing overdue at that moment, so that a block
// still going on at the end is not lost.
class Probe : public QObject {
public:
    Probe();
    void Start();
    void Stop();
    const std::vector<double>& Samples() const { return samples_; }

private:
    void Fired();

    QTimer timer_;
    Clock::time_point armed_;
    std::vector<double> samples_;
};

// Calls unstick on a thread of its own once the deadline passes, unless
// the object goes first. Used to end what no event can end (a call stuck
// on a hung mount, a plug-in that never returns).
class Watchdog {
public:
    Watchdog(Clock::time_point deadline, std::function<void()> unstick);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    bool Fired() const;

private:
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool done_ = false;
    bool fired_ = false;
    std::thread thread_;
};

}  // namespace latency_probe
