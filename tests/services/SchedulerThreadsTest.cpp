#include <gtest/gtest.h>

#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "SchedulerTestSupport.h"
#include "services/TaskScheduler.h"

using schedtest::FakeClock;
using schedtest::RecordingTask;
using schedtest::runOrDie;
using schedtest::ShutdownAtScopeExit;
using schedtest::SteadyClock;
using schedtest::waitUntil;
using testsupport::LogCapture;
using vpcore::IScheduledTask;
using vpcore::TaskScheduler;

namespace {

double secondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Every test runs the real runner and scheduling threads; the tasks it makes with makeTask
// outlive the scheduler's threads.
class SchedulerThreadsTest : public ::testing::Test {
protected:
    void TearDown() override {
        runOrDie([] { TaskScheduler::instance().shutdown(); }, 15000, "shutdown");
        for (const auto& task : owned) {
            if (task->canLiveForever()) {
                scheduler().removeTask(task.get());
            }
        }
        owned.clear();
        scheduler().setRetryTime(15);
        scheduler().enableStatisticsGathering(false);
    }

    static TaskScheduler& scheduler() { return TaskScheduler::instance(); }

    // A task that failed at 10:20:00 and was told to retry at 10:20:15: not a moment before;
    // failing then, again at 10:20:30, where it succeeds, and no retry follows.
    void expectRetriedEveryFifteenSecondsUntilItSucceeds(FakeClock& clock, RecordingTask* task,
                                                         std::atomic<bool>& succeed) {
        clock.set(QTime(10, 20, 14, 999));
        ASSERT_TRUE(clock.waitForPasses(1));
        EXPECT_EQ(task->runs(), 1);

        clock.set(QTime(10, 20, 15));
        ASSERT_TRUE(
            waitUntil([&] { return capture.contains("will be attempted again at 10:20:30"); }));
        EXPECT_EQ(task->runs(), 2);

        // The network is back: the next retry succeeds and no other follows it.
        succeed = true;
        clock.set(QTime(10, 20, 30));
        ASSERT_TRUE(waitUntil([&] { return task->runs() == 3; }));
        clock.set(QTime(10, 21, 0));
        ASSERT_TRUE(clock.waitForPasses(2));
        EXPECT_EQ(task->runs(), 3);
        EXPECT_EQ(capture.count("will be attempted again at"), 2);
    }

    RecordingTask* makeTask(const std::string& name) {
        owned.push_back(std::make_unique<RecordingTask>(name));
        return owned.back().get();
    }

    // What the creator of a scheduled task does after removeTask.
    void destroyTask(RecordingTask* task) {
        owned.erase(std::remove_if(owned.begin(), owned.end(),
                                   [task](const std::unique_ptr<RecordingTask>& t) {
                                       return t.get() == task;
                                   }),
                    owned.end());
    }

    // Returns once every task queued before it has been run: the queue is first in, first out.
    void runQueuedTasks() {
        std::atomic<int> done{0};
        scheduler().queueTask(new RecordingTask("Marker", &done));
        ASSERT_TRUE(waitUntil([&] { return done == 1; }));
    }

    LogCapture capture;
    std::vector<std::unique_ptr<RecordingTask>> owned;
};

}  // namespace

TEST_F(SchedulerThreadsTest, TaskQueuedTwiceRunsOnceAndOneShotTasksAreDeletedAfterTheirRun) {
    std::atomic<int> destroyed{0};
    auto* oneShot = new RecordingTask("One-Shot Task", &destroyed);
    const unsigned long oneShotId = oneShot->getTaskId();
    RecordingTask* scheduled = makeTask("Scheduled Task");
    std::atomic<int> runnerPriority{-1};
    const ShutdownAtScopeExit stopFirst;
    scheduled->setBody([&] {
        runnerPriority = QThread::currentThread()->priority();
        return true;
    });
    scheduler().scheduleAtInterval(scheduled, 600, false);
    scheduler().queueTask(oneShot);
    scheduler().queueTask(oneShot);
    scheduler().forceRun();
    scheduler().forceRun();
    EXPECT_FALSE(scheduler().isTaskComplete(scheduled->getTaskId()));

    scheduler().startScheduler();
    runQueuedTasks();

    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(scheduled->runs(), 1);
    EXPECT_EQ(capture.count("INFO: TaskScheduler - executing task <One-Shot Task>"), 1);
    EXPECT_EQ(capture.count("INFO: TaskScheduler - task <One-Shot Task> completed successfully"),
              1);
    EXPECT_EQ(runnerPriority, QThread::LowPriority);

    EXPECT_EQ(scheduled->getState(), IScheduledTask::STATE_EXECUTED);
    EXPECT_TRUE(scheduler().isTaskComplete(scheduled->getTaskId()));
    capture.clear();
    EXPECT_TRUE(scheduler().isTaskComplete(oneShotId));
    EXPECT_TRUE(capture.contains("WARN: Could not find task with id " + std::to_string(oneShotId)));
}

TEST_F(SchedulerThreadsTest, IntervalTaskRunsEveryTwoToThreeSeconds) {
    RecordingTask* waiting = makeTask("Every Two Seconds");
    RecordingTask* atOnce = makeTask("At Once");
    scheduler().startScheduler();
    const SteadyClock::time_point scheduledAt = SteadyClock::now();
    scheduler().scheduleAtInterval(waiting, 2, false);
    scheduler().scheduleAtInterval(atOnce, 60, true);

    ASSERT_TRUE(waitUntil([&] { return waiting->runs() >= 3; }, 20000));
    // Queued at once rather than after its 60 s: before the two-second task's first run.
    ASSERT_EQ(atOnce->runs(), 1);
    const std::vector<SteadyClock::time_point> starts = waiting->runStarts();
    EXPECT_LT(atOnce->runStarts().front(), starts[0]);
    // Due at the first pass that finds two whole seconds elapsed; a pass comes every second.
    // The upper bounds only catch a task left waiting for many intervals: a loaded machine
    // or a sanitizer may delay the threads by a second or more.
    const double first = secondsBetween(scheduledAt, starts[0]);
    EXPECT_GE(first, 1.95);
    EXPECT_LE(first, 8.0);
    for (std::size_t i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        const double gap = secondsBetween(starts[i - 1], starts[i]);
        EXPECT_GE(gap, 1.9);
        EXPECT_LE(gap, 8.0);
    }
    EXPECT_EQ(atOnce->runs(), 1);
}

TEST_F(SchedulerThreadsTest, HourlyTaskIsDueFromItsTimeInTheCurrentHour) {
    FakeClock clock(QTime(10, 30, 0));
    RecordingTask* past = makeTask("Minute 17");      // 10:17:05, already past
    RecordingTask* now = makeTask("Minute 30");       // 10:30:00, due this very second
    RecordingTask* soon = makeTask("Minute 30 + 1");  // 10:30:01
    RecordingTask* later = makeTask("Minute 45");     // 10:45:00
    scheduler().scheduleHourly(past, 17, 5);
    scheduler().scheduleHourly(now, 30, 0);
    scheduler().scheduleHourly(soon, 30, 1);
    scheduler().scheduleHourly(later, 45, 0);
    scheduler().startScheduler();

    struct Stage {
        QTime time;
        std::vector<int> runs;  // past, now, soon, later
    };
    const std::vector<Stage> stages = {
        {QTime(10, 30, 0), {1, 1, 0, 0}},
        {QTime(10, 45, 0), {1, 1, 1, 1}},
        // Each moved on by one hour when it ran.
        {QTime(11, 17, 5), {2, 1, 1, 1}},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.time.toString().toStdString());
        clock.set(stage.time);
        ASSERT_TRUE(clock.waitForPasses(1));
        runQueuedTasks();
        EXPECT_EQ(past->runs(), stage.runs[0]);
        EXPECT_EQ(now->runs(), stage.runs[1]);
        EXPECT_EQ(soon->runs(), stage.runs[2]);
        EXPECT_EQ(later->runs(), stage.runs[3]);
    }
    EXPECT_EQ(clock.schedulingPriority(), QThread::LowPriority);
}

namespace {

struct ForceRunCase {
    const char* name;
    QTime forcedAt;
    QTime nextDue;  // when the minute-17 record is due after the forced run
};

void PrintTo(const ForceRunCase& c, std::ostream* out) {
    *out << c.name;
}

class ForceRunTest : public SchedulerThreadsTest,
                     public ::testing::WithParamInterface<ForceRunCase> {};

}  // namespace

TEST_P(ForceRunTest, ForcedRunIsNotFollowedAtOnceByTheScheduledOne) {
    FakeClock clock(GetParam().forcedAt);
    RecordingTask* task = makeTask("Minute 17");
    scheduler().scheduleHourly(task, 17, 5);
    scheduler().forceRun();
    scheduler().startScheduler();

    ASSERT_TRUE(clock.waitForPasses(1));
    runQueuedTasks();
    EXPECT_EQ(task->runs(), 1);

    clock.set(GetParam().nextDue);
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 2; }, 10000));
}

INSTANTIATE_TEST_SUITE_P(
    Minutes, ForceRunTest,
    ::testing::Values(ForceRunCase{"AtMinute30", QTime(10, 30, 0), QTime(11, 17, 5)},
                      ForceRunCase{"AtMinute5", QTime(10, 5, 0), QTime(10, 17, 5)}),
    [](const ::testing::TestParamInfo<ForceRunCase>& info) { return info.param.name; });

TEST_F(SchedulerThreadsTest, ForcedRunAfterThisHoursRunKeepsTheNextHoursRun) {
    FakeClock clock(QTime(10, 20, 0));
    RecordingTask* task = makeTask("Minute 17");
    scheduler().scheduleHourly(task, 17, 5);
    scheduler().startScheduler();
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 1; }));

    // Due next at 11:17:05 already; the forced run must neither be repeated at once nor push
    // the next run to 12:17:05.
    scheduler().forceRun();
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 2; }));
    ASSERT_TRUE(clock.waitForPasses(1));
    runQueuedTasks();
    EXPECT_EQ(task->runs(), 2);
    clock.set(QTime(11, 17, 5));
    EXPECT_TRUE(waitUntil([&] { return task->runs() == 3; }, 10000));
}

namespace {

struct ClockJumpCase {
    const char* name;
    QTime before;   // the task runs here first and is then due at minute 17 of the next hour
    QTime jumpTo;   // past that time, more than an hour on
    QTime nextDue;  // minute 17 of the hour the clock jumped to
};

void PrintTo(const ClockJumpCase& c, std::ostream* out) {
    *out << c.name;
}

class ClockJumpTest : public SchedulerThreadsTest,
                      public ::testing::WithParamInterface<ClockJumpCase> {};

}  // namespace

TEST_P(ClockJumpTest, HourlyTaskWhoseTimeWasJumpedRunsAtOnceAndKeepsItsMinute) {
    const ClockJumpCase& c = GetParam();
    FakeClock clock(c.before);
    RecordingTask* task = makeTask("Minute 17");
    scheduler().scheduleHourly(task, 17, 5);
    scheduler().startScheduler();
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 1; }));

    // Not left waiting for the skipped hour to come round again a day later.
    clock.set(c.jumpTo);
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 2; }, 10000));

    clock.set(c.nextDue.addSecs(-60));
    ASSERT_TRUE(clock.waitForPasses(1));
    runQueuedTasks();
    EXPECT_EQ(task->runs(), 2);
    clock.set(c.nextDue);
    EXPECT_TRUE(waitUntil([&] { return task->runs() == 3; }, 10000));
}

INSTANTIATE_TEST_SUITE_P(Jumps, ClockJumpTest,
                         ::testing::Values(ClockJumpCase{"MachineSlept", QTime(10, 20, 0),
                                                         QTime(14, 0, 0), QTime(14, 17, 5)},
                                           ClockJumpCase{"DaylightSavingTimeBegan", QTime(1, 20, 0),
                                                         QTime(3, 0, 0), QTime(3, 17, 5)}),
                         [](const ::testing::TestParamInfo<ClockJumpCase>& info) {
                             return info.param.name;
                         });

namespace {

struct ClockStepBackCase {
    const char* name;
    QTime before;   // the task runs here first and is then due at minute 17 of the next hour
    QTime stepTo;   // the clock goes back to here
    QTime nextDue;  // minute 17 of the first hour after stepTo
};

void PrintTo(const ClockStepBackCase& c, std::ostream* out) {
    *out << c.name;
}

class ClockStepBackTest : public SchedulerThreadsTest,
                          public ::testing::WithParamInterface<ClockStepBackCase> {};

}  // namespace

TEST_P(ClockStepBackTest, HourlyTaskIsNotRunOnAStepBackButAtItsMinuteAfterIt) {
    const ClockStepBackCase& c = GetParam();
    FakeClock clock(c.before);
    RecordingTask* task = makeTask("Minute 17");
    scheduler().scheduleHourly(task, 17, 5);
    scheduler().startScheduler();
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 1; }));

    clock.set(c.stepTo);
    ASSERT_TRUE(clock.waitForPasses(2));
    runQueuedTasks();
    EXPECT_EQ(task->runs(), 1);
    EXPECT_TRUE(capture.contains("INFO: TaskScheduler - the clock went back from"));

    clock.set(c.nextDue.addSecs(-1));
    ASSERT_TRUE(clock.waitForPasses(1));
    runQueuedTasks();
    EXPECT_EQ(task->runs(), 1);
    clock.set(c.nextDue);
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 2; }));
    ASSERT_TRUE(clock.waitForPasses(1));
    runQueuedTasks();
    EXPECT_EQ(task->runs(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ClockStepBackTest,
    ::testing::Values(ClockStepBackCase{"TimeCorrection", QTime(10, 20, 0), QTime(10, 15, 0),
                                        QTime(10, 17, 5)},
                      ClockStepBackCase{"DaylightSavingTimeEnded", QTime(1, 59, 0), QTime(1, 0, 0),
                                        QTime(1, 17, 5)}),
    [](const ::testing::TestParamInfo<ClockStepBackCase>& info) { return info.param.name; });

TEST_F(SchedulerThreadsTest, OneShotTaskQueuedAgainWhileItRunsRunsOnceMoreAndIsDeletedOnce) {
    std::atomic<int> destroyed{0};
    auto* task = new RecordingTask("Queued Again", &destroyed);
    const ShutdownAtScopeExit stopFirst;
    std::atomic<int> bodyRuns{0};
    task->setBody([&] {
        if (++bodyRuns == 1) {
            TaskScheduler::instance().queueTask(task);
        }
        return true;
    });
    scheduler().queueTask(task);
    scheduler().startScheduler();

    ASSERT_TRUE(waitUntil([&] { return destroyed == 1; }));
    runQueuedTasks();
    EXPECT_EQ(bodyRuns, 2);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(capture.count("executing task <Queued Again>"), 2);
}

TEST_F(SchedulerThreadsTest, FailingHourlyTaskIsRetriedAfterTheRetryTimeUntilItSucceeds) {
    FakeClock clock(QTime(10, 20, 0));
    RecordingTask* task = makeTask("Flaky Update");
    std::atomic<bool> succeed{false};
    const ShutdownAtScopeExit stopFirst;
    task->setBody([&] { return succeed.load(); });
    scheduler().scheduleHourly(task, 17, 5);
    scheduler().startScheduler();

    ASSERT_TRUE(waitUntil([&] {
        return capture.contains(
            "INFO: TaskScheduler - task <Flaky Update> will be attempted again at 10:20:15");
    }));
    EXPECT_TRUE(capture.contains("TaskScheduler - task <Flaky Update> completed and failed"));
    EXPECT_EQ(task->getState(), IScheduledTask::STATE_EXECUTED);
    ASSERT_NO_FATAL_FAILURE(expectRetriedEveryFifteenSecondsUntilItSucceeds(clock, task, succeed));
}

TEST_F(SchedulerThreadsTest, FailingIntervalTaskIsRetriedAfterTheRetryTimeUntilItSucceeds) {
    // An alert round after an offline start: every 120 s, failing until the network is back.
    FakeClock clock(QTime(10, 20, 0));
    RecordingTask* task = makeTask("Alert Round");
    std::atomic<bool> succeed{false};
    const ShutdownAtScopeExit stopFirst;
    task->setBody([&] { return succeed.load(); });
    scheduler().scheduleAtInterval(task, 120, true);
    scheduler().startScheduler();

    ASSERT_TRUE(waitUntil([&] {
        return capture.contains(
            "INFO: TaskScheduler - task <Alert Round> will be attempted again at 10:20:15");
    }));
    ASSERT_NO_FATAL_FAILURE(expectRetriedEveryFifteenSecondsUntilItSucceeds(clock, task, succeed));
    EXPECT_EQ(task->getState(), IScheduledTask::STATE_EXECUTED);
}

TEST_F(SchedulerThreadsTest, RetryAndHourlyTimesWrapPastMidnight) {
    FakeClock clock(QTime(23, 59, 50));
    RecordingTask* task = makeTask("Midnight Update");
    std::atomic<bool> succeed{false};
    const ShutdownAtScopeExit stopFirst;
    task->setBody([&] { return succeed.load(); });
    scheduler().scheduleHourly(task, 59, 0);
    scheduler().startScheduler();

    ASSERT_TRUE(waitUntil([&] { return capture.contains("will be attempted again at 00:00:05"); }));
    // 23:59:51 is later than 00:00:05 as a time of day, yet the retry is 15 s ahead.
    clock.set(QTime(23, 59, 51));
    ASSERT_TRUE(clock.waitForPasses(1));
    EXPECT_EQ(task->runs(), 1);

    succeed = true;
    const QDate nextDay = clock.dateTime().date().addDays(1);
    clock.set(QDateTime(nextDay, QTime(0, 0, 5)));
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 2; }));

    // The hourly time moved from 23:59:00 to 00:59:00.
    clock.set(QDateTime(nextDay, QTime(0, 58, 59)));
    ASSERT_TRUE(clock.waitForPasses(1));
    EXPECT_EQ(task->runs(), 2);
    clock.set(QDateTime(nextDay, QTime(0, 59, 0)));
    ASSERT_TRUE(waitUntil([&] { return task->runs() == 3; }));
}

TEST_F(SchedulerThreadsTest, FailuresAreLoggedAndNeverEscapeTheRunner) {
    struct Case {
        const char* name;
        std::function<bool()> body;
        const char* errorLine;  // null: none
    };
    const std::vector<Case> cases = {
        {"Throws Runtime Error", []() -> bool { throw std::runtime_error("feed unreachable"); },
         "ERROR: Exception thrown while executing current task: feed unreachable"},
        {"Throws Int", []() -> bool { throw 42; },
         "ERROR: Unknown exception while executing current task"},
        {"Returns False", [] { return false; }, nullptr},
    };
    std::atomic<int> destroyed{0};
    const ShutdownAtScopeExit stopFirst;
    for (const Case& c : cases) {
        auto* task = new RecordingTask(c.name, &destroyed);
        task->setBody(c.body);
        scheduler().queueTask(task);
    }
    RecordingTask* interval = makeTask("Failing Interval");
    interval->setBody([] { return false; });
    scheduler().scheduleAtInterval(interval, 600, true);
    scheduler().startScheduler();
    runQueuedTasks();

    EXPECT_EQ(destroyed, static_cast<int>(cases.size()));
    const std::vector<std::string> lines = capture.lines();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string completed =
            std::string("INFO: TaskScheduler - task <") + c.name + "> completed and failed";
        auto completedAt = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(completed) != std::string::npos;
        });
        ASSERT_NE(completedAt, lines.end());
        if (c.errorLine != nullptr) {
            // The error line comes right before the completion line.
            ASSERT_NE(completedAt, lines.begin());
            EXPECT_NE((completedAt - 1)->find(c.errorLine), std::string::npos)
                << *(completedAt - 1);
        }
    }
    EXPECT_TRUE(capture.contains("TaskScheduler - task <Failing Interval> completed and failed"));
    // One-shot tasks are not retried; the interval task, whose next run is far, is.
    EXPECT_EQ(capture.count("will be attempted again"), 1);
    EXPECT_TRUE(capture.contains("task <Failing Interval> will be attempted again"));

    // The runner is still alive.
    RecordingTask* after = makeTask("After Failures");
    scheduler().scheduleAtInterval(after, 600, true);
    EXPECT_TRUE(waitUntil([&] { return after->runs() == 1; }));
}

TEST_F(SchedulerThreadsTest, StatisticsCountPassedAndFailedRunsUntilShutdown) {
    scheduler().enableStatisticsGathering(true);
    RecordingTask* task = makeTask("Counted");
    std::atomic<bool> succeed{true};
    const ShutdownAtScopeExit stopFirst;
    task->setBody([&] { return succeed.load(); });
    scheduler().scheduleAtInterval(task, 600, true);
    scheduler().startScheduler();
    ASSERT_TRUE(waitUntil([&] { return scheduler().getTotalTasksRuns() == 1; }));
    succeed = false;
    scheduler().forceRun();
    ASSERT_TRUE(waitUntil([&] { return scheduler().getTotalTasksRuns() == 2; }));

    EXPECT_EQ(scheduler().getTotalTasksRuns(), 2);
    std::map<IScheduledTask*, int> passed;
    std::map<IScheduledTask*, int> failed;
    scheduler().getPassedTasks(passed);
    scheduler().getFailedTasks(failed);
    EXPECT_EQ(passed, (std::map<IScheduledTask*, int>{{task, 1}}));
    EXPECT_EQ(failed, (std::map<IScheduledTask*, int>{{task, 1}}));

    scheduler().shutdown();
    EXPECT_EQ(scheduler().getTotalTasksRuns(), 0);
}

TEST_F(SchedulerThreadsTest, StartingTwiceWarnsAndShuttingDownTwiceIsQuiet) {
    scheduler().startScheduler();
    EXPECT_TRUE(capture.contains("INFO: TaskScheduler has been started."));
    capture.clear();
    scheduler().startScheduler();
    EXPECT_TRUE(capture.contains("WARN: TaskScheduler has already been started."));
    EXPECT_EQ(capture.lines().size(), 1u);

    capture.clear();
    scheduler().shutdown();
    const std::vector<std::string> expected = {"INFO: Waiting for current task to complete ...",
                                               "INFO: TaskRunner is stopped.",
                                               "INFO: TaskScheduler is shutdown."};
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(25), expected[i]);
    }

    capture.clear();
    scheduler().shutdown();
    EXPECT_TRUE(capture.text().empty());

    // And it starts again.
    RecordingTask* task = makeTask("After Restart");
    scheduler().scheduleAtInterval(task, 600, true);
    scheduler().startScheduler();
    EXPECT_TRUE(waitUntil([&] { return task->runs() == 1; }));
}

TEST_F(SchedulerThreadsTest, ShutdownKeepsOnlyTheRecordsOfTasksThatCanLiveForever) {
    RecordingTask* livesForever = makeTask("Interpolater");
    livesForever->setLivesForever();
    RecordingTask* interval = makeTask("Alerts");
    RecordingTask* hourly = makeTask("Conditions");
    scheduler().scheduleAtInterval(livesForever, 60, false);
    scheduler().scheduleAtInterval(interval, 120, false);
    scheduler().scheduleHourly(hourly, 17, 5);
    scheduler().startScheduler();
    scheduler().shutdown();

    EXPECT_FALSE(scheduler().isTaskComplete(livesForever->getTaskId()));
    EXPECT_TRUE(scheduler().isTaskComplete(interval->getTaskId()));
    EXPECT_TRUE(scheduler().isTaskComplete(hourly->getTaskId()));

    // Only the kept record runs after a restart.
    scheduler().startScheduler();
    scheduler().forceRun();
    runQueuedTasks();
    EXPECT_EQ(livesForever->runs(), 1);
    EXPECT_EQ(interval->runs(), 0);
    EXPECT_EQ(hourly->runs(), 0);
}

TEST_F(SchedulerThreadsTest, ShutdownWaitsForTheRunningTaskWhileItUsesTheScheduler) {
    std::atomic<int> lateDestroyed{0};
    auto* lateOneShot = new RecordingTask("Late One-Shot", &lateDestroyed);
    RecordingTask* lateScheduled = makeTask("Late Scheduled");
    RecordingTask* busy = makeTask("Busy");
    std::atomic<bool> entered{false};
    std::atomic<bool> sawShutdown{false};
    busy->setBody([&] {
        entered = true;
        sawShutdown =
            waitUntil([&] { return capture.contains("Waiting for current task to complete ..."); });
        // Every call that takes a scheduler lock, while shutdown waits for this task.
        TaskScheduler& s = TaskScheduler::instance();
        s.queueTask(lateOneShot);
        s.scheduleAtInterval(lateScheduled, 2, true);
        s.forceRun();
        s.isTaskComplete(lateScheduled->getTaskId());
        return true;
    });
    scheduler().scheduleAtInterval(busy, 600, true);
    scheduler().startScheduler();
    ASSERT_TRUE(waitUntil([&] { return entered.load(); }));

    runOrDie([] { TaskScheduler::instance().shutdown(); }, 10000, "shutdown");

    EXPECT_TRUE(sawShutdown);
    EXPECT_EQ(busy->getState(), IScheduledTask::STATE_EXECUTED);
    const std::string text = capture.text();
    EXPECT_LT(text.find("task <Busy> completed successfully"), text.find("TaskRunner is stopped."));
    // What the last task queued never runs; the one-shot task is deleted, not leaked.
    EXPECT_EQ(lateDestroyed, 1);
    EXPECT_FALSE(capture.contains("executing task <Late"));
    EXPECT_EQ(lateScheduled->runs(), 0);
    EXPECT_TRUE(scheduler().isTaskComplete(lateScheduled->getTaskId()));
}

TEST_F(SchedulerThreadsTest, RestartsStayCleanWhileAnotherThreadKeepsQueueing) {
    std::atomic<int> created{0};
    std::atomic<int> destroyed{0};
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        while (!stop) {
            auto* task = new RecordingTask("Churn", &destroyed);
            ++created;
            TaskScheduler::instance().queueTask(task);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (int round = 0; round < 5; ++round) {
        const int before = destroyed;
        scheduler().startScheduler();
        ASSERT_TRUE(waitUntil([&] { return destroyed > before; }));
        runOrDie([] { TaskScheduler::instance().shutdown(); }, 10000, "shutdown");
    }
    stop = true;
    producer.join();
    scheduler().shutdown();
    EXPECT_EQ(destroyed, created);
}

TEST_F(SchedulerThreadsTest, RemoveTaskWaitsForTheRunningTaskAndLeavesNoReferenceBehind) {
    FakeClock passCounter(QTime::currentTime());
    RecordingTask* task = makeTask("Alert Sound");
    std::atomic<bool> entered{false};
    task->setBody([&] {
        if (!entered.exchange(true)) {
            waitUntil([&] { return capture.contains("waiting for task Alert Sound to complete"); });
            // Needs the schedule lock, and queues this very task again.
            TaskScheduler::instance().forceRun();
        }
        return true;
    });
    scheduler().scheduleAtInterval(task, 2, true);
    scheduler().startScheduler();
    ASSERT_TRUE(waitUntil([&] { return entered.load(); }));

    bool removed = false;
    runOrDie([&] { removed = TaskScheduler::instance().removeTask(task); }, 5000, "removeTask");
    EXPECT_TRUE(removed);
    EXPECT_EQ(task->getState(), IScheduledTask::STATE_EXECUTED);
    EXPECT_TRUE(capture.contains(
        "INFO: TaskScheduler::removeTask: waiting for task Alert Sound to complete"));
    // The run queued by forceRun may come while removeTask waits, but none after it returned.
    const int runsAtRemoval = capture.count("executing task <Alert Sound>");
    EXPECT_LE(runsAtRemoval, 2);

    // The creator deletes its task now; neither the queue nor the interval may reach it again.
    owned.clear();
    runQueuedTasks();
    // Three passes span more than the two seconds of the interval.
    ASSERT_TRUE(passCounter.waitForPasses(3));
    runQueuedTasks();
    EXPECT_EQ(capture.count("executing task <Alert Sound>"), runsAtRemoval);
}

TEST_F(SchedulerThreadsTest, RemovedTaskIsTakenOutOfTheQueueAndTheRetryMap) {
    FakeClock clock(QTime(10, 20, 0));
    RecordingTask* hourly = makeTask("Failing Hourly");
    hourly->setBody([] { return false; });
    RecordingTask* interval = makeTask("Queued Behind");
    scheduler().scheduleHourly(hourly, 17, 5);
    scheduler().scheduleAtInterval(interval, 600, false);
    scheduler().startScheduler();
    ASSERT_TRUE(waitUntil([&] { return capture.contains("will be attempted again at 10:20:15"); }));

    std::atomic<bool> blocking{false};
    std::atomic<bool> release{false};
    const ShutdownAtScopeExit stopFirst;
    auto* blocker = new RecordingTask("Blocker");
    blocker->setBody([&] {
        blocking = true;
        return waitUntil([&] { return release.load(); });
    });
    scheduler().queueTask(blocker);
    ASSERT_TRUE(waitUntil([&] { return blocking.load(); }));
    // Both wait in the queue behind the blocker; the failed one also has its retry entry.
    scheduler().forceRun();
    EXPECT_TRUE(scheduler().removeTask(interval));
    EXPECT_TRUE(scheduler().removeTask(hourly));
    EXPECT_FALSE(capture.contains("waiting for task"));
    destroyTask(interval);
    destroyTask(hourly);

    clock.set(QTime(10, 20, 15));
    release = true;
    ASSERT_TRUE(clock.waitForPasses(1));
    runQueuedTasks();
    EXPECT_EQ(capture.count("executing task <Queued Behind>"), 0);
    EXPECT_EQ(capture.count("executing task <Failing Hourly>"), 1);
}

TEST_F(SchedulerThreadsTest, AnIdleRunnerWakesForEachQueuedTaskInOrderAndStopsWhileWaiting) {
    scheduler().startScheduler();
    runQueuedTasks();
    // Producers on several threads while the runner sleeps on an empty queue: every task
    // runs, each producer's in the order it queued them.
    constexpr int kProducers = 3;
    constexpr int kTasksEach = 20;
    std::mutex orderLock;
    std::vector<int> order;
    std::vector<RecordingTask*> tasks;
    for (int i = 0; i < kProducers * kTasksEach; ++i) {
        RecordingTask* task = makeTask("Woken Task " + std::to_string(i));
        task->setBody([&, i] {
            std::lock_guard<std::mutex> lock(orderLock);
            order.push_back(i);
            return true;
        });
        tasks.push_back(task);
    }
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int k = 0; k < kTasksEach; ++k) {
                scheduler().scheduleAtInterval(tasks[p * kTasksEach + k], 600, true);
            }
        });
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> lock(orderLock);
        return order.size() == tasks.size();
    }));
    for (int p = 0; p < kProducers; ++p) {
        std::vector<int> mine;
        for (int i : order) {
            if (i / kTasksEach == p) {
                mine.push_back(i);
            }
        }
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end())) << "producer " << p;
    }
    // Stopping an idle runner does not wait for a task to come.
    runOrDie([] { TaskScheduler::instance().shutdown(); }, 3000, "shutdown of an idle runner");
}
