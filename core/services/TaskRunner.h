// The scheduler's runner thread: takes the next task from the ready queue, executes it, and
// looks again 30 ms later. Owned by TaskScheduler from startScheduler to shutdown.
#pragma once

#include "services/StoppableThread.h"

namespace vpcore {
namespace TaskSchedulerFriend {

class TaskRunner : public StoppableThread {
public:
    using StoppableThread::StoppableThread;

protected:
    void run() override;
};

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
