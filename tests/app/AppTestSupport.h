// Helpers for the desktop program's tests: waiting for the GUI thread's event loop to reach a
// condition, and seeing the message boxes the program would show.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <QThread>
#include <functional>
#include <vector>

#include "VPMessageBox.h"
#include "weather/LocationService.h"

namespace apptest {

// Runs the event loop until condition() holds or timeoutMs pass; returns condition().
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return condition();
}

// Lets the posted events that are already queued be delivered.
inline void drainEvents() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

// Property 17 (the current location) is registered by its publisher, the location service,
// when it is first used.
inline void registerCurrentLocationId() {
    vpcore::LocationService::Instance();
}

// Records the message boxes instead of showing them, for its lifetime.
class MessageBoxRecorder {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    MessageBoxRecorder() {
        VPMessageBox::setShower(
            [this](QMessageBox::Icon icon, QWidget*, const QString& title, const QString& text) {
                boxes.push_back({icon, title, text});
            });
    }
    ~MessageBoxRecorder() { VPMessageBox::setShower(nullptr); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<Box> boxes;
};

}  // namespace apptest
