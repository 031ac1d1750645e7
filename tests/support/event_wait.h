#pragma once

#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QEventLoop>

// Runs the main thread's events until done() holds or limit passes;
// returns done(). The limit is a generous deadline against hangs, not a
// measurement.
inline bool ProcessEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline void ProcessEventsFor(std::chrono::milliseconds span) {
    ProcessEventsUntil([] { return false; }, span);
}
