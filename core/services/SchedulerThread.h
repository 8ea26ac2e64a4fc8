// The scheduler's scheduling thread: once a second moves the tasks that are due into the ready
// queue. Owned by TaskScheduler from startScheduler to shutdown.
#pragma once

#include <QThread>
#include <condition_variable>
#include <mutex>

namespace vpcore {

class TaskScheduler;

namespace TaskSchedulerFriend {

class SchedulerThread : public QThread {
public:
    explicit SchedulerThread(TaskScheduler* scheduler);
    ~SchedulerThread() override;

    bool keepRunning() const;
    // Ends the loop after the current pass; also cuts the pause short.
    void requestStop();

protected:
    void run() override;

private:
    // Sleeps for milliseconds unless a stop is requested meanwhile.
    void pause(int milliseconds);

    TaskScheduler* const scheduler;  // not owned
    bool running;
    mutable std::mutex mutex;  // guards running
    std::condition_variable stopRequested;
};

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
