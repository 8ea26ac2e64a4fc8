// Base of the scheduler's two worker threads: a run flag guarded by its own mutex, and a pause
// that a stop request cuts short, so shutdown never waits out a sleep.
#pragma once

#include <QThread>
#include <condition_variable>
#include <mutex>

namespace vpcore {

class TaskScheduler;

namespace TaskSchedulerFriend {

class StoppableThread : public QThread {
public:
    explicit StoppableThread(TaskScheduler* scheduler);
    ~StoppableThread() override;

    bool keepRunning() const;
    // Ends the loop after the current step; also cuts the pause short.
    void requestStop();

protected:
    // Sleeps for milliseconds unless a stop is requested meanwhile.
    void pause(int milliseconds);

    TaskScheduler* const scheduler;  // not owned

private:
    bool running;
    mutable std::mutex mutex;  // guards running
    std::condition_variable stopRequested;
};

}  // namespace TaskSchedulerFriend
}  // namespace vpcore
