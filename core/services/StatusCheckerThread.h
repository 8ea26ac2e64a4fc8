// A short-lived thread of the status service: a delay (500 ms by default) after a task
// started it reports the task's progress, unless the task has completed by then. Created by
// StatusService::startProgress on the runner thread.
#pragma once

#include <QThread>

#include "services/StatusService.h"

namespace vpcore {

class StatusCheckerThread : public QThread {
public:
    StatusCheckerThread(unsigned long taskId, StatusService::ProgressHandler handler,
                        const ProgressInfo_t& info, unsigned long delayMs = 500);

protected:
    void run() override;

private:
    const unsigned long taskId;
    const StatusService::ProgressHandler handler;
    const ProgressInfo_t info;
    const unsigned long delayMs;
};

}  // namespace vpcore
