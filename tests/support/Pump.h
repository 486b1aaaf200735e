#pragma once
// For tests on a real clock: process events until a condition holds, with a deadline.

#include <QCoreApplication>

#include <chrono>
#include <functional>

namespace corvane::test {

inline bool PumpUntil(const std::function<bool()>& pred, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace corvane::test
