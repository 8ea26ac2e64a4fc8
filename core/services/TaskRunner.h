// The scheduler's runner thread: takes the next task from the ready queue, executes it, and
// looks again 30 ms later. Owned by TaskScheduler from startScheduler to shutdown.
#pragma once

#include <QThread>
#include <condition_variable>
#include <mutex>

namespace vpcore {

class TaskScheduler;

namespace TaskSchedulerFriend {

class TaskRunner : public QThread {
public:
    explicit TaskRunner(TaskScheduler* scheduler);
    ~TaskRunner() override;

    bool keepRunning() const;
    // Ends the loop after the task that is running; also cuts the pause short.
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
