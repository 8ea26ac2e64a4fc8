// The process-wide scheduler of all periodic and background work: keeps the schedule (hourly
// and interval records), the ready queue, the retry map of failed scheduled tasks and optional
// statistics. Its scheduling thread queues due tasks once a second; its runner thread executes
// them one at a time. startScheduler and shutdown are called on the GUI thread; the other
// members may be called from any thread, tasks included.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QTime>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "services/IScheduledTask.h"
#include "services/VpCoreExport.h"

namespace vpcore {

namespace TaskSchedulerFriend {
class SchedulerThread;
class TaskRunner;
}  // namespace TaskSchedulerFriend

class VPCORE_EXPORT TaskScheduler {
public:
    // Schedule records; the scheduler owns them, not their tasks.
    struct VPCORE_EXPORT Task_t {
        explicit Task_t(IScheduledTask* task);
        virtual ~Task_t();
        IScheduledTask* task;
    };
    struct VPCORE_EXPORT HourTask_t : Task_t {
        HourTask_t(IScheduledTask* task, const QTime& time);
        QTime time;  // the next time of day at which the task is due
    };
    struct VPCORE_EXPORT SecondTask_t : Task_t {
        SecondTask_t(IScheduledTask* task, unsigned short interval);
        QElapsedTimer timer;      // started when the record is made, restarted when it fires
        unsigned short interval;  // seconds
    };

    // The time of day the scheduler goes by; the system clock unless replaced.
    using Clock = std::function<QDateTime()>;

    static TaskScheduler& instance();

    TaskScheduler(const TaskScheduler&) = delete;
    TaskScheduler& operator=(const TaskScheduler&) = delete;

    // Due every hour at minute:second, from this hour on; the task stays the caller's. After
    // a jump of the clock past its time it runs at once; after a step back it waits for its
    // minute in the first hour ahead (SchedulerRules holds these rules).
    void scheduleHourly(IScheduledTask* task, int minute, int second);
    // Due every intervalInSec seconds (at least 2), queued at once when runNow is true; the
    // task stays the caller's, who cancels and removes it before deleting it. A failed run is
    // tried again after the retry time when that comes before the next regular run.
    void scheduleAtInterval(IScheduledTask* task, unsigned short intervalInSec, bool runNow);
    // Runs the task once; the scheduler owns it from now on and deletes it after its run.
    // Queued again while it runs (by itself or another thread), it runs once more and is
    // deleted after that run.
    void queueTask(IScheduledTask* task);
    // Takes the task's record out of the schedule, waiting while the task runs; afterwards
    // the scheduler holds no reference to the task. False when the task was not scheduled.
    bool removeTask(IScheduledTask* task);
    // Queues every scheduled task now.
    void forceRun();
    bool isTaskComplete(unsigned long taskId);

    void setRetryTime(int seconds);
    void enableStatisticsGathering(bool enabled);
    // These throw std::exception while statistics gathering is disabled.
    int getTotalTasksRuns();
    void getPassedTasks(std::map<IScheduledTask*, int>& out);
    void getFailedTasks(std::map<IScheduledTask*, int>& out);

    void startScheduler();
    // Stops both threads after the running task has finished and drops every record except
    // those of tasks that can live forever. Tasks waiting in the queue are not run; one-shot
    // tasks among them are deleted.
    void shutdown();

    // An empty clock restores the system clock. Once this returns, the previous clock is no
    // longer called. The clock must not call the scheduler.
    void setClock(Clock clock);

private:
    friend class TaskSchedulerFriend::SchedulerThread;
    friend class TaskSchedulerFriend::TaskRunner;

    TaskScheduler();
    ~TaskScheduler();

    QDateTime now() const;

    void enqueue(IScheduledTask* task);
    // Marks the task it returns as executing, so that removeTask never sees a task that has
    // left the queue but has not started yet.
    IScheduledTask* dequeue();
    // The runner's wait for work: the next task as dequeue gives it, or null once stopping()
    // holds or timeout passes with the queue still empty.
    IScheduledTask* dequeueWaiting(std::chrono::milliseconds timeout,
                                   const std::function<bool()>& stopping);
    // Makes a runner waiting in dequeueWaiting look at stopping() again.
    void wakeRunner();
    void performScheduling();
    void executeTask(IScheduledTask* task);
    Task_t* findTaskPtr(IScheduledTask* task);
    void updatePassFailTask(IScheduledTask* task, bool passed);
    // Deletes the one-shot tasks that will never run; the runner must be stopped.
    void deletePendingOneShotTasks();

    std::vector<std::unique_ptr<Task_t>> scheduleList;
    std::deque<IScheduledTask*> readyQueue;
    std::map<IScheduledTask*, QTime> retryMap;
    std::vector<IScheduledTask*> oneShotList;  // owned; each task at most once

    // Lock order: schedule, retry, queue; one-shot, queue. No lock is held while a task runs
    // or while shutdown waits for the threads.
    std::mutex queueLock;
    std::condition_variable queueFilled;  // with queueLock: a task was queued, or stop
    std::mutex scheduleLock;
    std::mutex retryLock;
    std::mutex statisticsLock;
    std::mutex oneShotLock;

    std::atomic<bool> statisticsEnabled;
    std::map<IScheduledTask*, int> failedCounts;
    std::map<IScheduledTask*, int> passedCounts;

    std::unique_ptr<TaskSchedulerFriend::SchedulerThread> schedulerThread;
    std::unique_ptr<TaskSchedulerFriend::TaskRunner> taskRunner;

    std::atomic<int> retryTime;  // seconds

    Clock clock;
    mutable std::mutex clockLock;
    // The clock reading of the last scheduling pass, invalid before the first pass after a
    // start; tells a clock step back from time going on. Guarded by scheduleLock.
    QDateTime lastPass;
};

}  // namespace vpcore
