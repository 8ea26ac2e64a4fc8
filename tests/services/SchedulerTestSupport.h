// Helpers of the scheduler and status service tests: a task whose work the test chooses and
// that records its runs, a settable clock for the scheduler, and deadline-bound waits.
#pragma once

#include <QDateTime>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WaitUntil.h"
#include "services/IScheduledTask.h"
#include "services/SchedulerThread.h"
#include "services/TaskScheduler.h"

namespace schedtest {

using SteadyClock = std::chrono::steady_clock;

using testsupport::waitUntil;

// Runs the call on a helper thread. A call that does not return in time is a deadlock that
// no later step could recover from, so the test program ends at once.
inline void runOrDie(const std::function<void()>& call, int timeoutMs, const char* what) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread worker([call, done] {
        call();
        done->set_value();
    });
    if (finished.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return within %d ms: deadlock\n", what, timeoutMs);
        std::fflush(stderr);
        std::_Exit(1);
    }
    worker.join();
}

// Shuts the scheduler down when the scope ends. Declared after the locals that task bodies
// use, it stops the runner before they go, also when an assertion returns early.
class ShutdownAtScopeExit {
public:
    ShutdownAtScopeExit() = default;
    ~ShutdownAtScopeExit() { vpcore::TaskScheduler::instance().shutdown(); }
    ShutdownAtScopeExit(const ShutdownAtScopeExit&) = delete;
    ShutdownAtScopeExit& operator=(const ShutdownAtScopeExit&) = delete;
};

class RecordingTask : public vpcore::IScheduledTask {
public:
    explicit RecordingTask(std::string taskName, std::atomic<int>* destroyedCount = nullptr)
        : name(std::move(taskName)), destroyed(destroyedCount) {}
    ~RecordingTask() override {
        if (destroyed != nullptr) {
            ++*destroyed;
        }
    }

    // The work of performTask; without one the task succeeds at once.
    void setBody(std::function<bool()> work) {
        std::lock_guard<std::mutex> lock(mutex);
        body = std::move(work);
    }
    void setProgressDescription(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        description = text;
        progress = true;
    }
    void setLivesForever() {
        std::lock_guard<std::mutex> lock(mutex);
        livesForever = true;
    }

    int runs() const {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(starts.size());
    }
    std::vector<SteadyClock::time_point> runStarts() const {
        std::lock_guard<std::mutex> lock(mutex);
        return starts;
    }

    bool performTask() override {
        std::function<bool()> work;
        {
            std::lock_guard<std::mutex> lock(mutex);
            starts.push_back(SteadyClock::now());
            work = body;
        }
        return work ? work() : true;
    }
    std::string getTaskName() const override { return name; }
    bool contributesToProgressBar() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return progress;
    }
    std::string getDescription() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return description;
    }
    bool canLiveForever() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return livesForever;
    }

private:
    const std::string name;
    std::atomic<int>* const destroyed;
    mutable std::mutex mutex;
    std::function<bool()> body;
    std::string description;
    bool progress = false;
    bool livesForever = false;
    std::vector<SteadyClock::time_point> starts;
};

// The scheduler's time of day while it lives. Counts the reads of the scheduling thread, which
// reads the clock once at the start of every pass.
class FakeClock {
public:
    explicit FakeClock(const QTime& time) : current(QDate(2024, 5, 6), time) {
        vpcore::TaskScheduler::instance().setClock([this] { return read(); });
    }
    ~FakeClock() { vpcore::TaskScheduler::instance().setClock({}); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void set(const QTime& time) { set(QDateTime(current.date(), time)); }
    void set(const QDateTime& dateTime) {
        std::lock_guard<std::mutex> lock(mutex);
        current = dateTime;
    }
    QDateTime dateTime() const {
        std::lock_guard<std::mutex> lock(mutex);
        return current;
    }

    int passes() const { return schedulingReads; }
    QThread::Priority schedulingPriority() const { return priority; }

    // Returns once at least `count` whole scheduling passes have run with the time set now:
    // the pass that reads the clock after this call may still be running when it does, so the
    // wait ends only when the pass after the last one has begun.
    bool waitForPasses(int count, int timeoutMs = 15000) const {
        const int start = schedulingReads;
        return waitUntil([&] { return schedulingReads >= start + count + 1; }, timeoutMs);
    }

private:
    QDateTime read() {
        QThread* thread = QThread::currentThread();
        if (dynamic_cast<vpcore::TaskSchedulerFriend::SchedulerThread*>(thread) != nullptr) {
            priority = thread->priority();
            ++schedulingReads;
        }
        std::lock_guard<std::mutex> lock(mutex);
        return current;
    }

    mutable std::mutex mutex;
    QDateTime current;
    std::atomic<int> schedulingReads{0};
    std::atomic<QThread::Priority> priority{QThread::InheritPriority};
};

}  // namespace schedtest
