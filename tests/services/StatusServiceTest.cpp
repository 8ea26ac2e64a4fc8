#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "SchedulerTestSupport.h"
#include "services/StatusService.h"
#include "services/TaskScheduler.h"

using schedtest::RecordingTask;
using schedtest::SteadyClock;
using schedtest::waitUntil;
using testsupport::LogCapture;
using vpcore::ProgressInfo_t;
using vpcore::StatusMessage_t;
using vpcore::StatusService;
using vpcore::TaskScheduler;

namespace {

struct Report {
    std::string text;
    int value;
    SteadyClock::time_point at;
    std::thread::id thread;
    bool operator==(const Report& other) const {
        return text == other.text && value == other.value;
    }
};

// The target of both handlers. With holdFirstProgress the first progress report blocks its
// thread until release() (or 10 s).
class Recorder {
public:
    void onStatus(const StatusMessage_t& message) {
        std::lock_guard<std::mutex> lock(mutex);
        add(message.message, message.popup);
    }
    // Touches the recorder after the lock only while held, so that the test can tell when the
    // calling thread is done with it.
    void onProgress(const ProgressInfo_t& info) {
        bool hold = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            add(info.description, info.state);
            hold = holdFirstProgress && recorded.size() == 1;
            if (hold) {
                held = true;
            }
        }
        if (hold) {
            waitUntil([this] { return released.load(); }, 10000);
            held = false;
        }
    }

    std::vector<Report> reports() const {
        std::lock_guard<std::mutex> lock(mutex);
        return recorded;
    }
    std::size_t size() const { return reports().size(); }
    void release() { released = true; }

    bool holdFirstProgress = false;
    std::atomic<bool> held{false};

private:
    void add(const std::string& text, int value) {
        recorded.push_back({text, value, SteadyClock::now(), std::this_thread::get_id()});
    }

    mutable std::mutex mutex;
    std::vector<Report> recorded;
    std::atomic<bool> released{false};
};

void ignoreProgress(const ProgressInfo_t&) {}

class StatusServiceTest : public ::testing::Test {
protected:
    void TearDown() override {
        TaskScheduler::instance().shutdown();
        service().setProgressDelay(500);
        // A checker thread may still hold a copy of the recorder's delegate: the next
        // startProgress waits for it, and the checker it starts reports to nobody of ours.
        service().registerProgressHandler(StatusService::ProgressHandler(&ignoreProgress));
        service().startProgress(0, "");
        waitUntil([this] { return capture.contains("Could not find task with id 0."); }, 3000);
        service().registerProgressHandler(StatusService::ProgressHandler());
        service().registerUpdateHandler(StatusService::UpdateHandler());
    }

    static StatusService& service() { return StatusService::Instance(); }

    void registerRecorder() {
        service().registerUpdateHandler(
            StatusService::UpdateHandler(&recorder, &Recorder::onStatus));
        service().registerProgressHandler(
            StatusService::ProgressHandler(&recorder, &Recorder::onProgress));
    }

    // Scheduled tasks outlive the test body, so that shutdown never meets a freed one.
    RecordingTask* makeTask(const std::string& name) {
        owned.push_back(std::make_unique<RecordingTask>(name));
        return owned.back().get();
    }

    LogCapture capture;
    Recorder recorder;
    std::vector<std::unique_ptr<RecordingTask>> owned;
};

double secondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

TEST_F(StatusServiceTest, UpdateLogsTheMessageAndCallsTheHandlerOnTheCallersThread) {
    service().update(StatusMessage_t("before any handler", 0));
    EXPECT_TRUE(capture.contains(" INFO: Status update-> before any handler"));

    registerRecorder();
    capture.clear();
    service().update(StatusMessage_t("Could not update current weather. Timed out.", 1));
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(24),
              " INFO: Status update-> Could not update current weather. "
              "Timed out.");
    const std::vector<Report> reports = recorder.reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, "Could not update current weather. Timed out.");
    EXPECT_EQ(reports[0].value, 1);
    EXPECT_EQ(reports[0].thread, std::this_thread::get_id());
}

TEST_F(StatusServiceTest, StopProgressReportsStoppedAtOnceOnTheCallersThread) {
    service().stopProgress(3);
    registerRecorder();
    service().stopProgress(3);
    const std::vector<Report> reports = recorder.reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (Report{"", 0, {}, {}}));
    EXPECT_EQ(reports[0].thread, std::this_thread::get_id());
}

TEST_F(StatusServiceTest, StartProgressStartsACheckerThreadOnlyWithAHandler) {
    const std::string waiting = "WARN: Waiting on last StatusCheckerThread to complete ...";
    RecordingTask* task = makeTask("Scheduled");
    TaskScheduler::instance().scheduleAtInterval(task, 60, false);

    service().startProgress(task->getTaskId(), "no handler yet");
    registerRecorder();
    // Had the first call started a checker, it would still be in its 500 ms sleep.
    service().startProgress(task->getTaskId(), "first");
    EXPECT_FALSE(capture.contains(waiting));
    service().startProgress(task->getTaskId(), "second");
    EXPECT_EQ(capture.count(waiting), 1);

    // The task never ran, so both checkers report it in progress.
    ASSERT_TRUE(waitUntil([&] { return recorder.size() == 2; }));
    EXPECT_EQ(recorder.reports(),
              (std::vector<Report>{{"first", 1, {}, {}}, {"second", 1, {}, {}}}));
    EXPECT_NE(recorder.reports()[0].thread, std::this_thread::get_id());
}

TEST_F(StatusServiceTest, TaskOfAFewMillisecondsGetsOnlyTheStopReport) {
    registerRecorder();
    // Far longer than the task, also on a loaded machine or under a sanitizer.
    service().setProgressDelay(2000);
    std::atomic<int> destroyed{0};
    auto* task = new RecordingTask("Quick", &destroyed);
    const unsigned long id = task->getTaskId();
    task->setProgressDescription("Retrieving weather alert details.");
    TaskScheduler::instance().queueTask(task);
    TaskScheduler::instance().startScheduler();

    // The checker asks after its delay; by then the one-shot task is gone.
    ASSERT_TRUE(waitUntil(
        [&] { return capture.contains("Could not find task with id " + std::to_string(id)); }));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(recorder.reports(), (std::vector<Report>{{"", 0, {}, {}}}));
}

TEST_F(StatusServiceTest, TaskStillRunningAfterTheDelayGetsTheProgressReportThenTheStop) {
    registerRecorder();
    const unsigned long delayMs = 200;
    service().setProgressDelay(delayMs);
    auto* task = new RecordingTask("Slow");
    task->setProgressDescription("Updating current conditions.");
    std::atomic<bool> started{false};
    std::atomic<bool> sawProgress{false};
    SteadyClock::time_point startedAt;
    task->setBody([&] {
        startedAt = SteadyClock::now();
        started = true;
        // Runs until the progress report has come, however late the checker is.
        sawProgress = waitUntil([&] { return recorder.size() == 1; }, 10000);
        return true;
    });
    TaskScheduler::instance().queueTask(task);
    TaskScheduler::instance().startScheduler();

    ASSERT_TRUE(waitUntil([&] { return recorder.size() == 2; }, 15000));
    ASSERT_TRUE(started);
    EXPECT_TRUE(sawProgress);
    const std::vector<Report> reports = recorder.reports();
    EXPECT_EQ(reports,
              (std::vector<Report>{{"Updating current conditions.", 1, {}, {}}, {"", 0, {}, {}}}));
    // Never before the delay; how much later depends on the machine.
    EXPECT_GE(secondsBetween(startedAt, reports[0].at), (delayMs - 5) / 1000.0);
    EXPECT_NE(reports[0].thread, reports[1].thread);
}

TEST_F(StatusServiceTest, TaskThatThrowsStillEndsItsProgress) {
    registerRecorder();
    auto* task = new RecordingTask("Throws");
    const unsigned long id = task->getTaskId();
    task->setProgressDescription("Retrieving weather alert details.");
    task->setBody([]() -> bool { throw std::runtime_error("bad document"); });
    TaskScheduler::instance().queueTask(task);
    TaskScheduler::instance().startScheduler();

    ASSERT_TRUE(waitUntil(
        [&] { return capture.contains("Could not find task with id " + std::to_string(id)); }));
    EXPECT_TRUE(capture.contains("Exception thrown while executing current task: bad document"));
    EXPECT_EQ(recorder.reports(), (std::vector<Report>{{"", 0, {}, {}}}));
}

TEST_F(StatusServiceTest, CheckerStillRunningAfterTheWaitIsKeptUntilItHasFinished) {
    RecordingTask* task = makeTask("Never Run");
    TaskScheduler::instance().scheduleAtInterval(task, 60, false);
    recorder.holdFirstProgress = true;
    registerRecorder();

    service().startProgress(task->getTaskId(), "first");
    ASSERT_TRUE(waitUntil([&] { return recorder.held.load(); }, 10000));

    const SteadyClock::time_point before = SteadyClock::now();
    service().startProgress(task->getTaskId(), "second");
    EXPECT_GE(secondsBetween(before, SteadyClock::now()), 4.9);
    EXPECT_EQ(capture.count("Waiting on last StatusCheckerThread to complete ..."), 1);
    // The first checker still runs: it was neither freed nor cut short.
    EXPECT_TRUE(recorder.held);

    recorder.release();
    ASSERT_TRUE(waitUntil([&] { return recorder.size() == 2 && !recorder.held; }));
    EXPECT_EQ(recorder.reports(),
              (std::vector<Report>{{"first", 1, {}, {}}, {"second", 1, {}, {}}}));
}
