#include "services/StatusCheckerThread.h"

#include "services/QSleeper.h"
#include "services/TaskScheduler.h"

namespace vpcore {

namespace {
const unsigned long CHECK_DELAY_MS = 500;
}

StatusCheckerThread::StatusCheckerThread(unsigned long id, StatusService::ProgressHandler target,
                                         const ProgressInfo_t& progress)
    : taskId(id), handler(target), info(progress) {}

void StatusCheckerThread::run() {
    QtUtils::QSleeper::msleep(CHECK_DELAY_MS);
    if (!TaskScheduler::instance().isTaskComplete(taskId)) {
        handler(info);
    }
}

}  // namespace vpcore
