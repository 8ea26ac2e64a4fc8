#include "services/TaskRunner.h"

#include <chrono>

#include "services/TaskScheduler.h"

namespace vpcore {
namespace TaskSchedulerFriend {

namespace {
const int POLL_INTERVAL_MS = 30;
}

TaskRunner::TaskRunner(TaskScheduler* owner) : scheduler(owner), running(true) {}

TaskRunner::~TaskRunner() {
    // Destroyed after wait(): taking the flag's lock orders the thread's last look at the flag
    // before the object goes, in a way race detectors see (QThread::wait syncs inside Qt).
    std::lock_guard<std::mutex> lock(mutex);
}

bool TaskRunner::keepRunning() const {
    std::lock_guard<std::mutex> lock(mutex);
    return running;
}

void TaskRunner::requestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = false;
    }
    stopRequested.notify_all();
}

void TaskRunner::pause(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex);
    stopRequested.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [this] { return !running; });
}

void TaskRunner::run() {
    while (keepRunning()) {
        IScheduledTask* task = scheduler->dequeue();
        if (task != nullptr) {
            scheduler->executeTask(task);
        }
        pause(POLL_INTERVAL_MS);
    }
}

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
