#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "AlertFeedFixture.h"
#include "AppTestSupport.h"
#include "LogCapture.h"
#include "alerts/AlertSoundManager.h"
#include "alerts/WeatherAlertSoundTask.h"
#include "base/Settings.h"
#include "base/SoundPlayer.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"

using testsupport::LogCapture;
using vpcore::NotificationService;
using vpcore::TaskScheduler;

namespace {

// Stands in for the audio device, which the virtual display lacks: records what is played
// and when, on whichever thread plays it.
class RecordingOutput : public WeatherAlertSoundTask::SoundOutput {
public:
    explicit RecordingOutput(bool available) : available(available) { clock.start(); }

    bool isAvailable() override { return available; }
    void play(const QString& file) override {
        std::lock_guard<std::mutex> lock(mutex);
        plays.push_back({file, clock.elapsed()});
    }

    struct Play {
        QString file;
        qint64 atMs;
    };
    std::vector<Play> played() const {
        std::lock_guard<std::mutex> lock(mutex);
        return plays;
    }
    int count() const { return static_cast<int>(played().size()); }

private:
    const bool available;
    QElapsedTimer clock;
    mutable std::mutex mutex;
    std::vector<Play> plays;
};

class AlertSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        WeatherAlertSoundTask::setSoundOutput(&output);
        setSetting("SOUND_ALERT", true);
        setSetting("PLAY_ALERT_UNTIL_VIEWED", false);
        setSetting("PLAY_ALERT_INTERVAL_IN_MIN", 3);
        setSetting("PLAY_SOUNDS", true);
    }
    void TearDown() override {
        TaskScheduler::instance().shutdown();
        WeatherAlertSoundTask::setSoundOutput(nullptr);
    }

    RecordingOutput output{true};
};

TEST_F(AlertSoundTest, TaskPlaysTheBeepsThreeTimesThreeSecondsApart) {
    WeatherAlertSoundTask task;
    EXPECT_EQ(task.getTaskName(), "WeatherAlertSoundTask");
    EXPECT_FALSE(task.contributesToProgressBar());
    EXPECT_TRUE(task.getDescription().empty());
    EXPECT_FALSE(task.canLiveForever());

    EXPECT_TRUE(task.performTask());
    const auto plays = output.played();
    ASSERT_EQ(plays.size(), 3u);
    for (const auto& play : plays) {
        EXPECT_EQ(play.file, "resources/6_beeps.wav");
    }
    EXPECT_GE(plays[1].atMs - plays[0].atMs, 2900);
    EXPECT_GE(plays[2].atMs - plays[1].atMs, 2900);
}

TEST_F(AlertSoundTest, CancelledRunStopsWithinASecondAndPlaysNoMore) {
    WeatherAlertSoundTask task;
    std::thread runner([&task] { task.performTask(); });
    ASSERT_TRUE(apptest::waitFor([&] { return output.count() == 1; }));
    // Cancelled as soon as the first play is seen, so inside the 3 s pause before the second
    // one however loaded the machine is: a task that sat the pause out would take most of it.
    QElapsedTimer stopping;
    stopping.start();
    task.setCancelled();
    runner.join();
    EXPECT_LT(stopping.elapsed(), 2500);
    // The task has returned: nothing can play any more.
    EXPECT_EQ(output.count(), 1);
}

TEST_F(AlertSoundTest, WithoutDeviceOrWithSoundsOffTheTaskOnlyLogs) {
    struct Case {
        bool device;
        bool playSounds;
    };
    for (const Case c : {Case{false, true}, Case{true, false}, Case{false, false}}) {
        SCOPED_TRACE(testing::Message() << "device " << c.device << " sounds " << c.playSounds);
        RecordingOutput machine(c.device);
        WeatherAlertSoundTask::setSoundOutput(&machine);
        setSetting("PLAY_SOUNDS", c.playSounds);
        LogCapture log;
        WeatherAlertSoundTask task;
        EXPECT_TRUE(task.performTask());
        EXPECT_EQ(log.count("INFO: Sound is not available."), 1);
        EXPECT_EQ(machine.count(), 0);
    }
}

// The program's own output, on a machine without an audio device (the virtual display).
TEST_F(AlertSoundTest, DefaultOutputWithoutADeviceOnlyLogs) {
    WeatherAlertSoundTask::setSoundOutput(nullptr);
    // Built here on the GUI thread, as the sound manager's constructor does in the program.
    if (WeatherAlertSoundTask::soundOutput().isAvailable()) {
        GTEST_SKIP() << "this machine has an audio device";
    }
    QSignalSpy requested(&SoundPlayer::instance(), &SoundPlayer::soundRequested);
    LogCapture log;
    WeatherAlertSoundTask task;
    std::thread runner([&task] { task.performTask(); });
    runner.join();
    apptest::drainEvents();
    EXPECT_EQ(log.count("INFO: Sound is not available."), 1);
    EXPECT_EQ(requested.count(), 0);
}

TEST(AlertSoundManagerRuleTest, IntervalIsBoundedToWhatTheSchedulerTakes) {
    const struct {
        int minutes;
        unsigned short seconds;
    } cases[] = {{3, 180}, {1, 60},       {30, 1800},    {0, 60},
                 {-4, 60}, {1092, 65520}, {1093, 65520}, {100000, 65520}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        EXPECT_EQ(AlertSoundManager::repeatIntervalSeconds(c.minutes), c.seconds);
    }
}

// The program's sound manager under the real scheduler, fed by the real alert model.
class AlertSoundManagerTest : public AlertSoundTest {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        AlertSoundTest::SetUp();
        viewedId =
            std::make_unique<apptest::PropertyIdsLease>(std::set<short>{vpcore::PROP_ALERT_VIEWED});
        NotificationService::Instance().registerPropertyIds({vpcore::PROP_ALERT_VIEWED});
        feed = std::make_unique<apptest::AlertFeed>();
        manager = &AlertSoundManager::instance();
    }
    void TearDown() override {
        // Left as found: no sound repeating.
        if (manager != nullptr && manager->isRepeating()) {
            NotificationService::Instance().notify(vpcore::PROP_ALERT_VIEWED);
        }
        feed.reset();
        viewedId.reset();
        AlertSoundTest::TearDown();
    }

    static std::string scheduledLine(int seconds) {
        return "Second Task <WeatherAlertSoundTask> added for execution at every " +
               std::to_string(seconds) + " seconds.";
    }

    std::unique_ptr<apptest::PropertyIdsLease> viewedId;
    std::unique_ptr<apptest::AlertFeed> feed;
    AlertSoundManager* manager = nullptr;
};

TEST_F(AlertSoundManagerTest, NewAlertPlaysOnceByDefault) {
    TaskScheduler::instance().startScheduler();
    LogCapture log;
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(apptest::waitFor([&] { return output.count() >= 1; }));
    EXPECT_FALSE(manager->isRepeating());
    EXPECT_FALSE(log.contains("Second Task <WeatherAlertSoundTask>"));

    // The same alert, the alert issued anew, then none: no further sound task.
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(feed->update("feed_winter_storm_reissued.xml"));
    ASSERT_TRUE(feed->update("feed_no_alerts.xml"));
    ASSERT_TRUE(apptest::waitFor([&] { return output.count() == 3; }, 15000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(log.count("TaskScheduler - executing task <WeatherAlertSoundTask>"), 1);
    EXPECT_EQ(output.count(), 3);
}

TEST_F(AlertSoundManagerTest, RepeatModeSchedulesAtTheSettingsIntervalUntilViewed) {
    setSetting("PLAY_ALERT_UNTIL_VIEWED", true);
    const struct {
        int minutes;
        int seconds;
        bool warned;
    } cases[] = {{3, 180, false}, {0, 60, true}, {2000, 65520, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        setSetting("PLAY_ALERT_INTERVAL_IN_MIN", c.minutes);
        LogCapture log;
        // A fresh model, so that the alert is new each time.
        feed.reset();
        feed = std::make_unique<apptest::AlertFeed>();
        ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
        EXPECT_TRUE(manager->isRepeating());
        EXPECT_EQ(log.count(scheduledLine(c.seconds)), 1);
        EXPECT_EQ(log.count("Alert sound interval of " + std::to_string(c.minutes) +
                            " minute(s) is out of range"),
                  c.warned ? 1 : 0);

        // Another new alert while it repeats adds nothing.
        ASSERT_TRUE(feed->update("feed_three_alerts.xml"));
        EXPECT_EQ(log.count("Second Task <WeatherAlertSoundTask>"), 1);

        NotificationService::Instance().notify(vpcore::PROP_ALERT_VIEWED);
        EXPECT_FALSE(manager->isRepeating());
        EXPECT_EQ(log.count("Task_t* not found"), 0);
    }
}

TEST_F(AlertSoundManagerTest, RepeatingSoundPlaysAtOnceAndStopsWhenTheAlertsExpire) {
    setSetting("PLAY_ALERT_UNTIL_VIEWED", true);
    TaskScheduler::instance().startScheduler();
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(apptest::waitFor([&] { return output.count() == 1; }));
    EXPECT_TRUE(manager->isRepeating());

    // Expiry arrives on the runner side while the sound is in its pause.
    QElapsedTimer stopping;
    stopping.start();
    ASSERT_TRUE(feed->update("feed_no_alerts.xml"));
    EXPECT_FALSE(manager->isRepeating());
    // Well short of the 6 s of the task's three plays, which a stop that waited would take.
    EXPECT_LT(stopping.elapsed(), 5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(output.count(), 1);
}

// A change of location restarts the scheduler, which keeps only the tasks that live forever:
// the sound that repeats until viewed is one of them, the one-shot sound is not.
TEST_F(AlertSoundManagerTest, RepeatingSoundOutlivesAChangeOfLocation) {
    setSetting("PLAY_ALERT_UNTIL_VIEWED", true);
    EXPECT_FALSE(WeatherAlertSoundTask().canLiveForever());
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(manager->isRepeating());

    auto& scheduler = TaskScheduler::instance();
    scheduler.shutdown();
    scheduler.startScheduler();

    LogCapture log;
    NotificationService::Instance().notify(vpcore::PROP_ALERT_VIEWED);
    EXPECT_FALSE(manager->isRepeating());
    EXPECT_EQ(log.count("Task_t* not found"), 0);
}

TEST_F(AlertSoundManagerTest, AlertSoundOffPlaysNothingInEitherMode) {
    setSetting("SOUND_ALERT", false);
    TaskScheduler::instance().startScheduler();
    for (const bool untilViewed : {false, true}) {
        SCOPED_TRACE(untilViewed);
        setSetting("PLAY_ALERT_UNTIL_VIEWED", untilViewed);
        LogCapture log;
        feed.reset();
        feed = std::make_unique<apptest::AlertFeed>();
        ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
        EXPECT_TRUE(log.contains("New weather alert!!!"));
        EXPECT_FALSE(manager->isRepeating());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(log.contains("WeatherAlertSoundTask"));
    }
    EXPECT_EQ(output.count(), 0);
}

}  // namespace

// New alerts on a worker thread and the viewed event on the GUI thread, interleaved: the
// manager holds at most one repeating task, and every one it scheduled is taken off again.
TEST_F(AlertSoundTest, ManagerStaysConsistentUnderEventsFromTwoThreads) {
    setSetting("PLAY_ALERT_UNTIL_VIEWED", true);
    auto& service = NotificationService::Instance();
    const apptest::PropertyIdsLease ids(
        {vpcore::PROP_ALERT_NEW, vpcore::PROP_ALERTS_EXPIRED, vpcore::PROP_ALERT_VIEWED});
    service.registerPropertyIds(
        {vpcore::PROP_ALERT_NEW, vpcore::PROP_ALERTS_EXPIRED, vpcore::PROP_ALERT_VIEWED});
    LogCapture log;
    {
        AlertSoundManager manager;
        const int rounds = 40;
        std::thread runner([&service] {
            for (int i = 0; i < rounds; ++i) {
                service.notify(vpcore::PROP_ALERT_NEW);
                if (i % 10 == 9) {
                    service.notify(vpcore::PROP_ALERTS_EXPIRED);
                }
            }
        });
        for (int i = 0; i < rounds; ++i) {
            service.notify(vpcore::PROP_ALERT_VIEWED);
        }
        runner.join();
        service.notify(vpcore::PROP_ALERT_NEW);
        EXPECT_TRUE(manager.isRepeating());
        // The manager goes with its task still scheduled: the destructor takes it off.
    }
    // The program's manager, if this process has one, heard it all too.
    service.notify(vpcore::PROP_ALERT_VIEWED);
    EXPECT_EQ(log.count("Task_t* not found"), 0);
    EXPECT_GE(log.count("Second Task <WeatherAlertSoundTask>"), 1);
}
