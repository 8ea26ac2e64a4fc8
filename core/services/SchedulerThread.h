// The scheduler's scheduling thread: once a second moves the tasks that are due into the ready
// queue. Owned by TaskScheduler from startScheduler to shutdown.
#pragma once

#include "services/StoppableThread.h"

namespace vpcore {
namespace TaskSchedulerFriend {

class SchedulerThread : public StoppableThread {
public:
    using StoppableThread::StoppableThread;

protected:
    void run() override;
};

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
