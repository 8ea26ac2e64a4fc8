#include "services/StoppableThread.h"

#include <chrono>

namespace vpcore {
namespace TaskSchedulerFriend {

StoppableThread::StoppableThread(TaskScheduler* owner) : scheduler(owner), running(true) {}

StoppableThread::~StoppableThread() {
    // Destroyed after wait(): taking the flag's lock orders the thread's last look at the flag
    // before the object goes, in a way race detectors see (QThread::wait syncs inside Qt).
    std::lock_guard<std::mutex> lock(mutex);
}

bool StoppableThread::keepRunning() const {
    std::lock_guard<std::mutex> lock(mutex);
    return running;
}

void StoppableThread::requestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = false;
    }
    stopRequested.notify_all();
}

void StoppableThread::pause(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex);
    stopRequested.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [this] { return !running; });
}

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
