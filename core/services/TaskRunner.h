// The scheduler's runner thread: takes the next task from the ready queue and executes it,
// and otherwise sleeps until a task is queued or a stop is requested. Owned by TaskScheduler
// from startScheduler to shutdown.
#pragma once

#include "services/StoppableThread.h"

namespace vpcore {
namespace TaskSchedulerFriend {

class TaskRunner : public StoppableThread {
public:
    using StoppableThread::StoppableThread;

    // Ends the loop after the current task, and wakes the runner if it waits for one.
    void requestStop();

protected:
    void run() override;
};

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
