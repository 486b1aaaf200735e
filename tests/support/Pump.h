#pragma once
// For tests on a real clock: process events until a condition holds, with a deadline. A
// ticking timer wakes the wait for events, so the loop neither spins nor sleeps.

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <functional>

namespace corvane::test {

inline bool PumpUntil(const std::function<bool()>& pred, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    QTimer tick;
    tick.start(5);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace corvane::test
