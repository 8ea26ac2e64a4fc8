#include "services/StatusCheckerThread.h"

#include "services/QSleeper.h"
#include "services/TaskScheduler.h"

namespace vpcore {

StatusCheckerThread::StatusCheckerThread(unsigned long id, StatusService::ProgressHandler target,
                                         const ProgressInfo_t& progress, unsigned long delay)
    : taskId(id), handler(target), info(progress), delayMs(delay) {}

void StatusCheckerThread::run() {
    QtUtils::QSleeper::msleep(delayMs);
    if (!TaskScheduler::instance().isTaskComplete(taskId)) {
        handler(info);
    }
}

}  // namespace vpcore
