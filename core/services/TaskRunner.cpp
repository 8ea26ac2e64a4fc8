#include "services/TaskRunner.h"

#include "services/TaskScheduler.h"

namespace vpcore {
namespace TaskSchedulerFriend {

namespace {
const int POLL_INTERVAL_MS = 30;
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
