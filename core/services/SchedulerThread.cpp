#include "services/SchedulerThread.h"

#include <chrono>

#include "services/TaskScheduler.h"

namespace vpcore {
namespace TaskSchedulerFriend {

namespace {
const int PASS_INTERVAL_MS = 1000;
}

SchedulerThread::SchedulerThread(TaskScheduler* owner) : scheduler(owner), running(true) {}

SchedulerThread::~SchedulerThread() {
    // Destroyed after wait(): taking the flag's lock orders the thread's last look at the flag
    // before the object goes, in a way race detectors see (QThread::wait syncs inside Qt).
    std::lock_guard<std::mutex> lock(mutex);
}

bool SchedulerThread::keepRunning() const {
    std::lock_guard<std::mutex> lock(mutex);
    return running;
}

void SchedulerThread::requestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = false;
    }
    stopRequested.notify_all();
}

void SchedulerThread::pause(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex);
    stopRequested.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [this] { return !running; });
}

void SchedulerThread::run() {
    while (keepRunning()) {
        scheduler->performScheduling();
        pause(PASS_INTERVAL_MS);
    }
}

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
