// The tests' one wait for a condition: it checks the condition until it holds or the time is up.
// Between checks it either sleeps (the condition is met by other threads) or runs the calling
// thread's event loop (the condition needs posted events, timers or sockets of this thread).
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

enum class WhileWaiting { Sleep, RunEvents };

// True as soon as condition() holds; false when it still does not after timeoutMs.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15000,
                      WhileWaiting between = WhileWaiting::Sleep) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        if (between == WhileWaiting::RunEvents) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return true;
}

}  // namespace testsupport
