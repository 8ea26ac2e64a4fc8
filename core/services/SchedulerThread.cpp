#include "services/SchedulerThread.h"

#include "services/TaskScheduler.h"

namespace vpcore {
namespace TaskSchedulerFriend {

namespace {
const int PASS_INTERVAL_MS = 1000;
}

void SchedulerThread::run() {
    while (keepRunning()) {
        scheduler->performScheduling();
        pause(PASS_INTERVAL_MS);
    }
}

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
