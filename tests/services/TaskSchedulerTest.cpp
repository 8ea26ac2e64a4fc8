#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "SchedulerTestSupport.h"
#include "services/TaskScheduler.h"

using schedtest::RecordingTask;
using testsupport::LogCapture;
using vpcore::IScheduledTask;
using vpcore::TaskScheduler;

namespace {

// The scheduler's threads are not started here: these are the calls the GUI thread makes.
class TaskSchedulerTest : public ::testing::Test {
protected:
    void TearDown() override {
        scheduler().shutdown();
        scheduler().enableStatisticsGathering(false);
    }
    static TaskScheduler& scheduler() { return TaskScheduler::instance(); }
};

}  // namespace

TEST(ScheduledTaskTest, IdsFollowEachOtherAndStayUniqueAcrossThreads) {
    RecordingTask first("first");
    RecordingTask second("second");
    EXPECT_GE(first.getTaskId(), 1u);
    EXPECT_EQ(second.getTaskId(), first.getTaskId() + 1);

    const int perThread = 2000;
    std::vector<unsigned long> idsA;
    std::vector<unsigned long> idsB;
    auto construct = [perThread](std::vector<unsigned long>* ids) {
        for (int i = 0; i < perThread; ++i) {
            RecordingTask task("t");
            ids->push_back(task.getTaskId());
        }
    };
    std::thread a(construct, &idsA);
    std::thread b(construct, &idsB);
    a.join();
    b.join();
    std::set<unsigned long> all(idsA.begin(), idsA.end());
    all.insert(idsB.begin(), idsB.end());
    EXPECT_EQ(all.size(), static_cast<std::size_t>(2 * perThread));
    EXPECT_GT(*all.begin(), second.getTaskId());
}

TEST(ScheduledTaskTest, StartsUnrunAndUncancelledAndCancelsForGood) {
    RecordingTask task("t");
    EXPECT_EQ(task.getState(), IScheduledTask::STATE_CREATED);
    EXPECT_FALSE(task.isCancelled());
    EXPECT_FALSE(task.canLiveForever());
    task.setCancelled();
    task.setCancelled();
    EXPECT_TRUE(task.isCancelled());
    task.setState(IScheduledTask::STATE_EXECUTED);
    EXPECT_EQ(task.getState(), 2);
}

TEST_F(TaskSchedulerTest, IntervalMustBeAtLeastTwoSeconds) {
    struct Case {
        unsigned short interval;
        bool accepted;
    };
    for (const Case& c : {Case{0, false}, Case{1, false}, Case{2, true}, Case{120, true}}) {
        SCOPED_TRACE(c.interval);
        RecordingTask task("Interval Task");
        LogCapture capture;
        if (c.accepted) {
            EXPECT_NO_THROW(scheduler().scheduleAtInterval(&task, c.interval, false));
            EXPECT_TRUE(
                capture.contains("INFO: Second Task <Interval Task> added for execution "
                                 "at every " +
                                 std::to_string(c.interval) + " seconds."));
            EXPECT_TRUE(scheduler().removeTask(&task));
        } else {
            try {
                scheduler().scheduleAtInterval(&task, c.interval, true);
                FAIL() << "no exception";
            } catch (const std::invalid_argument& e) {
                EXPECT_STREQ(e.what(), "intervalInSec must be greater than 1");
            }
            EXPECT_TRUE(capture.text().empty());
            // Nothing was scheduled or queued.
            EXPECT_FALSE(scheduler().removeTask(&task));
        }
    }
}

TEST_F(TaskSchedulerTest, RejectsNullTasksAndTimesOutsideTheHour) {
    RecordingTask task("t");
    EXPECT_THROW(scheduler().scheduleHourly(&task, 60, 0), std::invalid_argument);
    EXPECT_THROW(scheduler().scheduleHourly(&task, 17, -1), std::invalid_argument);
    EXPECT_THROW(scheduler().scheduleHourly(nullptr, 17, 5), std::invalid_argument);
    EXPECT_THROW(scheduler().scheduleAtInterval(nullptr, 60, false), std::invalid_argument);
    EXPECT_THROW(scheduler().queueTask(nullptr), std::invalid_argument);
    EXPECT_FALSE(scheduler().removeTask(&task));
}

TEST_F(TaskSchedulerTest, RemoveTaskTakesOutOnlyWhatWasScheduled) {
    RecordingTask hourly("Hourly Task");
    RecordingTask interval("Interval Task");
    RecordingTask never("Never Scheduled");
    scheduler().scheduleHourly(&hourly, 17, 5);
    scheduler().scheduleAtInterval(&interval, 60, false);

    LogCapture capture;
    EXPECT_FALSE(scheduler().removeTask(&never));
    EXPECT_EQ(capture.count("ERROR: Task_t* not found for task Never Scheduled"), 1);

    EXPECT_TRUE(scheduler().removeTask(&hourly));
    EXPECT_FALSE(scheduler().removeTask(&hourly));
    EXPECT_TRUE(scheduler().removeTask(&interval));
    EXPECT_EQ(capture.count("Task_t* not found for task Hourly Task"), 1);
    EXPECT_FALSE(capture.contains("waiting for task"));
}

TEST_F(TaskSchedulerTest, IsTaskCompleteFindsScheduledTasksAndAssumesCompletionOtherwise) {
    RecordingTask scheduled("Scheduled");
    scheduler().scheduleAtInterval(&scheduled, 60, false);
    LogCapture capture;
    EXPECT_FALSE(scheduler().isTaskComplete(scheduled.getTaskId()));
    EXPECT_TRUE(capture.text().empty());

    const unsigned long unknown = scheduled.getTaskId() + 100000;
    EXPECT_TRUE(scheduler().isTaskComplete(unknown));
    EXPECT_TRUE(capture.contains(
        "WARN: Could not find task with id " + std::to_string(unknown) +
        ". Assuming completion status, but it may never have been added to the queue or has "
        "already completed."));

    // A one-shot task waiting for the runner is found and not complete.
    auto* oneShot = new RecordingTask("One-Shot");
    scheduler().queueTask(oneShot);
    capture.clear();
    EXPECT_FALSE(scheduler().isTaskComplete(oneShot->getTaskId()));
    EXPECT_TRUE(capture.text().empty());
    EXPECT_TRUE(scheduler().removeTask(&scheduled));
}

TEST_F(TaskSchedulerTest, StatisticsMustBeEnabledFirst) {
    std::map<IScheduledTask*, int> out;
    const std::vector<std::function<void()>> calls = {
        [] { TaskScheduler::instance().getTotalTasksRuns(); },
        [&out] { TaskScheduler::instance().getPassedTasks(out); },
        [&out] { TaskScheduler::instance().getFailedTasks(out); }};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        try {
            calls[i]();
            FAIL() << "no exception";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Statistics gathering has not been enabled.");
        }
    }
    scheduler().enableStatisticsGathering(true);
    EXPECT_EQ(scheduler().getTotalTasksRuns(), 0);
    RecordingTask stale("stale");
    out[&stale] = 3;
    scheduler().getPassedTasks(out);
    EXPECT_TRUE(out.empty());
}

TEST_F(TaskSchedulerTest, ShutdownDeletesOneShotTasksThatNeverRan) {
    std::atomic<int> destroyed{0};
    auto* task = new RecordingTask("Pending", &destroyed);
    scheduler().queueTask(task);
    scheduler().queueTask(task);
    LogCapture capture;
    scheduler().shutdown();
    EXPECT_EQ(destroyed, 1);
    // Not started, so there are no threads to report on.
    EXPECT_TRUE(capture.text().empty());
}
