#include "services/TaskRunner.h"

#include <chrono>

#include "services/TaskScheduler.h"

namespace vpcore {
namespace TaskSchedulerFriend {

namespace {
// Enqueue and stop wake the runner; the deadline only bounds a wait that nothing cut short.
constexpr std::chrono::milliseconds IDLE_WAIT(60000);
}  // namespace

void TaskRunner::requestStop() {
    StoppableThread::requestStop();
    scheduler->wakeRunner();
}

void TaskRunner::run() {
    while (keepRunning()) {
        IScheduledTask* task =
            scheduler->dequeueWaiting(IDLE_WAIT, [this] { return !keepRunning(); });
        if (task != nullptr) {
            scheduler->executeTask(task);
        }
    }
}

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
