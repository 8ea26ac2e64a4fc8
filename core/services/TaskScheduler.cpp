#include "services/TaskScheduler.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "services/Logger.h"
#include "services/QSleeper.h"
#include "services/RemoteResourceService.h"
#include "services/SchedulerRules.h"
#include "services/SchedulerThread.h"
#include "services/StatusService.h"
#include "services/TaskRunner.h"

namespace vpcore {

namespace {

const int DEFAULT_RETRY_SECONDS = 15;
const unsigned long REMOVE_WAIT_MS = 200;

void log(const std::string& level, const std::string& text) {
    Logger::Instance().log(level, text);
}

void requireTask(const IScheduledTask* task) {
    if (task == nullptr) {
        throw std::invalid_argument("task must not be null");
    }
}

}  // namespace

TaskScheduler::Task_t::Task_t(IScheduledTask* scheduled) : task(scheduled) {}

TaskScheduler::Task_t::~Task_t() = default;

TaskScheduler::HourTask_t::HourTask_t(IScheduledTask* scheduled, const QTime& at)
    : Task_t(scheduled), time(at) {}

TaskScheduler::SecondTask_t::SecondTask_t(IScheduledTask* scheduled, unsigned short seconds)
    : Task_t(scheduled), interval(seconds) {
    timer.start();
}

TaskScheduler& TaskScheduler::instance() {
    static TaskScheduler scheduler;
    return scheduler;
}

TaskScheduler::TaskScheduler() : statisticsEnabled(false), retryTime(DEFAULT_RETRY_SECONDS) {
    // Constructed before the scheduler, these outlive it: the destructor may log, and the
    // runner it joins at exit may be fetching. Left to its first fetch, the resource service
    // would be built on the runner thread after the scheduler and destroyed before it.
    Logger::Instance();
    RemoteResourceService::instance();
}

TaskScheduler::~TaskScheduler() {
    // Threads still running at process exit would outlive the containers they use.
    if (taskRunner || schedulerThread) {
        shutdown();
    }
    deletePendingOneShotTasks();
}

void TaskScheduler::setClock(Clock newClock) {
    {
        std::lock_guard<std::mutex> lock(clockLock);
        clock = std::move(newClock);
    }
    // Another clock is no step of this one.
    std::lock_guard<std::mutex> schedule(scheduleLock);
    lastPass = QDateTime();
}

QDateTime TaskScheduler::now() const {
    // Called under the lock, so that a clock replaced by setClock is never called afterwards.
    std::lock_guard<std::mutex> lock(clockLock);
    return clock ? clock() : QDateTime::currentDateTime();
}

void TaskScheduler::scheduleHourly(IScheduledTask* task, int minute, int second) {
    requireTask(task);
    if (minute < 0 || minute > 59 || second < 0 || second > 59) {
        throw std::invalid_argument("minute and second must be between 0 and 59");
    }
    const QTime current = now().time();
    auto record = std::make_unique<HourTask_t>(task, QTime(current.hour(), minute, second));
    std::lock_guard<std::mutex> lock(scheduleLock);
    scheduleList.push_back(std::move(record));
}

void TaskScheduler::scheduleAtInterval(IScheduledTask* task, unsigned short intervalInSec,
                                       bool runNow) {
    requireTask(task);
    if (intervalInSec < 2) {
        throw std::invalid_argument("intervalInSec must be greater than 1");
    }
    auto record = std::make_unique<SecondTask_t>(task, intervalInSec);
    {
        // The record goes in first, so that a run started at once already finds it.
        std::lock_guard<std::mutex> lock(scheduleLock);
        scheduleList.push_back(std::move(record));
    }
    if (runNow) {
        enqueue(task);
    }
    log("INFO", "Second Task <" + task->getTaskName() + "> added for execution at every " +
                    std::to_string(intervalInSec) + " seconds.");
}

void TaskScheduler::queueTask(IScheduledTask* task) {
    requireTask(task);
    std::lock_guard<std::mutex> oneShot(oneShotLock);
    // Held once, so that it is deleted once however often it was queued.
    if (std::find(oneShotList.begin(), oneShotList.end(), task) == oneShotList.end()) {
        oneShotList.push_back(task);
    }
    enqueue(task);
}

bool TaskScheduler::removeTask(IScheduledTask* task) {
    const std::string name = task != nullptr ? task->getTaskName() : std::string();
    {
        std::lock_guard<std::mutex> lock(scheduleLock);
        if (task == nullptr || findTaskPtr(task) == nullptr) {
            log("ERROR", "Task_t* not found for task " + name);
            return false;
        }
    }
    // The caller deletes the task next, so no queue entry or retry entry may outlive the
    // record. The schedule lock is not held while waiting: the running task may need it.
    for (;;) {
        {
            std::lock_guard<std::mutex> schedule(scheduleLock);
            std::lock_guard<std::mutex> retry(retryLock);
            std::lock_guard<std::mutex> queue(queueLock);
            const bool executing = task->getState() == IScheduledTask::STATE_EXECUTING;
            retryMap.erase(task);
            readyQueue.erase(std::remove(readyQueue.begin(), readyQueue.end(), task),
                             readyQueue.end());
            if (!executing) {
                scheduleList.erase(std::remove_if(scheduleList.begin(), scheduleList.end(),
                                                  [task](const std::unique_ptr<Task_t>& record) {
                                                      return record->task == task;
                                                  }),
                                   scheduleList.end());
                return true;
            }
        }
        log("INFO", "TaskScheduler::removeTask: waiting for task " + name + " to complete");
        QtUtils::QSleeper::msleep(REMOVE_WAIT_MS);
    }
}

void TaskScheduler::forceRun() {
    const QTime current = now().time();
    std::lock_guard<std::mutex> lock(scheduleLock);
    for (const auto& record : scheduleList) {
        enqueue(record->task);
        if (auto* hourly = dynamic_cast<HourTask_t*>(record.get())) {
            hourly->time = SchedulerRules::forcedHourlyTime(current, hourly->time);
        }
    }
}

bool TaskScheduler::isTaskComplete(unsigned long taskId) {
    {
        std::lock_guard<std::mutex> lock(scheduleLock);
        for (const auto& record : scheduleList) {
            if (record->task->getTaskId() == taskId) {
                return record->task->getState() == IScheduledTask::STATE_EXECUTED;
            }
        }
    }
    {
        std::lock_guard<std::mutex> lock(oneShotLock);
        for (const IScheduledTask* task : oneShotList) {
            if (task->getTaskId() == taskId) {
                return task->getState() == IScheduledTask::STATE_EXECUTED;
            }
        }
    }
    log("WARN", "Could not find task with id " + std::to_string(taskId) +
                    ". Assuming completion status, but it may never have been added to the "
                    "queue or has already completed.");
    return true;
}

void TaskScheduler::setRetryTime(int seconds) {
    retryTime = seconds;
}

void TaskScheduler::enableStatisticsGathering(bool enabled) {
    statisticsEnabled = enabled;
}

namespace {
void requireStatistics(bool enabled) {
    if (!enabled) {
        throw std::runtime_error("Statistics gathering has not been enabled.");
    }
}
}  // namespace

int TaskScheduler::getTotalTasksRuns() {
    requireStatistics(statisticsEnabled);
    std::lock_guard<std::mutex> lock(statisticsLock);
    int total = 0;
    for (const auto& entry : passedCounts) {
        total += entry.second;
    }
    for (const auto& entry : failedCounts) {
        total += entry.second;
    }
    return total;
}

void TaskScheduler::getPassedTasks(std::map<IScheduledTask*, int>& out) {
    requireStatistics(statisticsEnabled);
    std::lock_guard<std::mutex> lock(statisticsLock);
    out = passedCounts;
}

void TaskScheduler::getFailedTasks(std::map<IScheduledTask*, int>& out) {
    requireStatistics(statisticsEnabled);
    std::lock_guard<std::mutex> lock(statisticsLock);
    out = failedCounts;
}

void TaskScheduler::startScheduler() {
    if (taskRunner) {
        log("WARN", "TaskScheduler has already been started.");
        return;
    }
    {
        // The first pass has nothing to compare with: the time while stopped is no step.
        std::lock_guard<std::mutex> schedule(scheduleLock);
        lastPass = QDateTime();
    }
    taskRunner = std::make_unique<TaskSchedulerFriend::TaskRunner>(this);
    taskRunner->start(QThread::LowPriority);
    schedulerThread = std::make_unique<TaskSchedulerFriend::SchedulerThread>(this);
    schedulerThread->start(QThread::LowPriority);
    log("INFO", "TaskScheduler has been started.");
}

void TaskScheduler::shutdown() {
    std::vector<std::unique_ptr<Task_t>> kept;
    {
        std::lock_guard<std::mutex> schedule(scheduleLock);
        for (auto& record : scheduleList) {
            if (record->task->canLiveForever()) {
                kept.push_back(std::move(record));
            }
        }
        scheduleList.clear();
        std::lock_guard<std::mutex> retry(retryLock);
        retryMap.clear();
    }
    {
        std::lock_guard<std::mutex> queue(queueLock);
        readyQueue.clear();
    }
    // No scheduler lock is held while the threads stop: the running task may still queue or
    // schedule work, and the runner takes the queue lock to look for the next task. A task
    // waiting for a hanging server would hold the join for its whole time-out: its fetch is
    // ended now, and the fetches it would start next are refused until the threads are gone.
    RemoteResourceService& remote = RemoteResourceService::instance();
    if (taskRunner) {
        remote.abortFetches();
        taskRunner->requestStop();
        log("INFO", "Waiting for current task to complete ...");
        taskRunner->wait();
        taskRunner.reset();
        log("INFO", "TaskRunner is stopped.");
    }
    if (schedulerThread) {
        schedulerThread->requestStop();
        schedulerThread->wait();
        schedulerThread.reset();
        log("INFO", "TaskScheduler is shutdown.");
    }
    remote.acceptFetches();
    {
        // Work that the last task scheduled while the threads stopped goes the same way.
        std::lock_guard<std::mutex> schedule(scheduleLock);
        for (auto& record : scheduleList) {
            if (record->task->canLiveForever()) {
                kept.push_back(std::move(record));
            }
        }
        scheduleList = std::move(kept);
        std::lock_guard<std::mutex> retry(retryLock);
        retryMap.clear();
    }
    deletePendingOneShotTasks();
    std::lock_guard<std::mutex> statistics(statisticsLock);
    passedCounts.clear();
    failedCounts.clear();
}

void TaskScheduler::deletePendingOneShotTasks() {
    std::vector<IScheduledTask*> pending;
    {
        std::lock_guard<std::mutex> oneShot(oneShotLock);
        std::lock_guard<std::mutex> queue(queueLock);
        readyQueue.clear();
        pending.swap(oneShotList);
    }
    for (IScheduledTask* task : pending) {
        delete task;
    }
}

void TaskScheduler::enqueue(IScheduledTask* task) {
    {
        std::lock_guard<std::mutex> lock(queueLock);
        if (std::find(readyQueue.begin(), readyQueue.end(), task) != readyQueue.end()) {
            return;
        }
        readyQueue.push_back(task);
    }
    queueFilled.notify_all();
}

IScheduledTask* TaskScheduler::dequeue() {
    std::lock_guard<std::mutex> lock(queueLock);
    if (readyQueue.empty()) {
        return nullptr;
    }
    IScheduledTask* task = readyQueue.front();
    readyQueue.pop_front();
    task->setState(IScheduledTask::STATE_EXECUTING);
    return task;
}

IScheduledTask* TaskScheduler::dequeueWaiting(std::chrono::milliseconds timeout,
                                              const std::function<bool()>& stopping) {
    std::unique_lock<std::mutex> lock(queueLock);
    if (!queueFilled.wait_for(lock, timeout, [&] { return !readyQueue.empty() || stopping(); }) ||
        readyQueue.empty()) {
        return nullptr;
    }
    IScheduledTask* task = readyQueue.front();
    readyQueue.pop_front();
    task->setState(IScheduledTask::STATE_EXECUTING);
    return task;
}

void TaskScheduler::wakeRunner() {
    // Taken and left before the notification, so that a runner between its look at the
    // stop flag and its wait cannot miss it.
    { std::lock_guard<std::mutex> lock(queueLock); }
    queueFilled.notify_all();
}

void TaskScheduler::performScheduling() {
    const QDateTime nowDateTime = now();
    const QTime current = nowDateTime.time();
    std::lock_guard<std::mutex> schedule(scheduleLock);
    const bool steppedBack = SchedulerRules::isSteppedBack(lastPass, nowDateTime);
    if (steppedBack) {
        log("INFO", "TaskScheduler - the clock went back from " +
                        lastPass.toString(Qt::ISODate).toStdString() + " to " +
                        nowDateTime.toString(Qt::ISODate).toStdString() +
                        "; hourly tasks keep their minute");
    }
    for (const auto& record : scheduleList) {
        if (auto* interval = dynamic_cast<SecondTask_t*>(record.get())) {
            if (SchedulerRules::isIntervalDue(interval->timer.elapsed(), interval->interval)) {
                interval->timer.restart();
                // The regular run takes the place of a retry still waiting.
                std::lock_guard<std::mutex> retry(retryLock);
                retryMap.erase(interval->task);
                enqueue(interval->task);
            }
        } else if (auto* hourly = dynamic_cast<HourTask_t*>(record.get())) {
            const SchedulerRules::HourlyStep step =
                SchedulerRules::hourlyPass(lastPass, nowDateTime, hourly->time);
            if (step.run) {
                std::lock_guard<std::mutex> retry(retryLock);
                retryMap.erase(hourly->task);
                enqueue(hourly->task);
            }
            hourly->time = step.due;
        }
    }
    lastPass = nowDateTime;
    std::lock_guard<std::mutex> retry(retryLock);
    for (auto entry = retryMap.begin(); entry != retryMap.end();) {
        if (steppedBack) {
            entry->second = SchedulerRules::retryAfterStepBack(current, entry->second, retryTime);
        }
        if (SchedulerRules::hasReached(current, entry->second)) {
            // Erased now rather than at the end of the attempt: a pass during a slow attempt
            // would otherwise queue the task again and it would run twice back to back.
            enqueue(entry->first);
            entry = retryMap.erase(entry);
        } else {
            ++entry;
        }
    }
}

void TaskScheduler::executeTask(IScheduledTask* task) {
    const std::string name = task->getTaskName();
    log("INFO", "TaskScheduler - executing task <" + name + ">");
    bool result = false;
    bool progressOpen = false;
    try {
        if (task->contributesToProgressBar()) {
            StatusService::Instance().startProgress(task->getTaskId(), task->getDescription());
            progressOpen = true;
        }
        result = task->performTask();
        if (progressOpen) {
            progressOpen = false;
            StatusService::Instance().stopProgress(task->getTaskId());
        }
    } catch (const std::exception& e) {
        log("ERROR", std::string("Exception thrown while executing current task: ") + e.what());
        result = false;
    } catch (...) {
        log("ERROR", "Unknown exception while executing current task");
        result = false;
    }
    if (progressOpen) {
        // Otherwise the busy indicator would stay on after a task that threw.
        StatusService::Instance().stopProgress(task->getTaskId());
    }
    log("INFO", "TaskScheduler - task <" + name + "> completed " +
                    (result ? "successfully" : "and failed"));

    bool scheduled = false;
    bool retrying = false;
    QTime retryAt;
    {
        // The record is looked up under the schedule lock: another thread may be changing
        // the schedule list right now.
        std::lock_guard<std::mutex> schedule(scheduleLock);
        const Task_t* record = findTaskPtr(task);
        scheduled = record != nullptr;
        std::lock_guard<std::mutex> retry(retryLock);
        retryMap.erase(task);
        // A failed hourly task is tried again after the retry time, and so is an interval
        // task whose next run is further away: after an offline start the alerts would
        // otherwise wait a whole interval while the other feeds are back within seconds.
        const auto* interval = dynamic_cast<const SecondTask_t*>(record);
        if (scheduled && !result &&
            (interval == nullptr ||
             SchedulerRules::isIntervalRetryDue(interval->timer.elapsed(), interval->interval,
                                                retryTime))) {
            retryAt = now().time().addSecs(retryTime);
            retryMap[task] = retryAt;
            retrying = true;
        }
    }
    updatePassFailTask(task, result);

    if (!scheduled) {
        bool oneShot = false;
        {
            std::lock_guard<std::mutex> oneShotGuard(oneShotLock);
            auto it = std::find(oneShotList.begin(), oneShotList.end(), task);
            if (it != oneShotList.end()) {
                // Queued again while it ran: it stays owned here and runs once more, and is
                // deleted after that run. Both locks are held, so queueTask cannot slip in
                // between this look at the queue and the deletion.
                std::lock_guard<std::mutex> queue(queueLock);
                if (std::find(readyQueue.begin(), readyQueue.end(), task) == readyQueue.end()) {
                    oneShotList.erase(it);
                    oneShot = true;
                }
            }
        }
        if (oneShot) {
            delete task;
            return;
        }
    }
    if (retrying) {
        log("INFO", "TaskScheduler - task <" + name + "> will be attempted again at " +
                        retryAt.toString(Qt::TextDate).toStdString());
    }
    // Also for a task whose record went while it ran, so that nobody waits on it for ever.
    task->setState(IScheduledTask::STATE_EXECUTED);
}

TaskScheduler::Task_t* TaskScheduler::findTaskPtr(IScheduledTask* task) {
    for (const auto& record : scheduleList) {
        if (record->task == task) {
            return record.get();
        }
    }
    return nullptr;
}

void TaskScheduler::updatePassFailTask(IScheduledTask* task, bool passed) {
    if (!statisticsEnabled) {
        return;
    }
    std::lock_guard<std::mutex> lock(statisticsLock);
    ++(passed ? passedCounts : failedCounts)[task];
}

}  // namespace vpcore
