#include <gtest/gtest.h>

#include <QTime>
#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LogCapture.h"
#include "services/Converter.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "weather/TemperatureInterpolater.h"

using namespace vpcore;

namespace {

typedef std::pair<int, std::string> HiLo;

// Everything published under PROP_TEMP_F and PROP_TEMP_C, in order; safe across threads.
class TempRecorder : public FloatPropertyChangeListener {
public:
    struct Change {
        short id;
        float oldValue;
        float newValue;
    };

    TempRecorder() {
        NotificationService::Instance().addPropertyChangeListener<float>(this, ids());
    }
    ~TempRecorder() override {
        NotificationService::Instance().removePropertyChangeListener<float>(this, ids());
    }
    void handlePropertyChange(short id, const float* const oldValue,
                              const float* const newValue) override {
        std::lock_guard<std::mutex> lock(mutex);
        heard.push_back({id, *oldValue, *newValue});
    }
    std::vector<Change> changes() const {
        std::lock_guard<std::mutex> lock(mutex);
        return heard;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        heard.clear();
    }

private:
    static std::set<short> ids() { return {PROP_TEMP_F, PROP_TEMP_C}; }
    mutable std::mutex mutex;
    std::vector<Change> heard;
};

// Publishes what the current-conditions model and the forecast provider would.
void observe(float fahrenheit) {
    static float last = -1000.0f;  // any value other than the new one reaches the listeners
    NotificationService::Instance().notify<float>(PROP_TEMP_F, &last, &fahrenheit);
}
void pressure(float mb) {
    const float none = -1.0f;
    NotificationService::Instance().notify<float>(PROP_PRESSURE_MB, &none, &mb);
}
void forecast(const HiLo& hiLo) {
    const HiLo none(0, "");
    NotificationService::Instance().notify<HiLo>(PROP_FORECAST_HI_LO, &none, &hiLo);
}

class TemperatureInterpolaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().registerPropertyIds(
            {PROP_TEMP_F, PROP_TEMP_C, PROP_PRESSURE_MB, PROP_CONDITIONS_RESET,
             PROP_FORECAST_HI_LO});
    }
    void TearDown() override {
        TaskScheduler::instance().shutdown();
        NotificationService::Instance().reset();
    }

    // Runs the task once with the clock at the given minute; the Fahrenheit value published,
    // or nothing.
    static std::vector<float> runAt(TemperatureInterpolater& interpolater, TempRecorder& recorder,
                                    int minute) {
        recorder.clear();
        interpolater.setClock([minute] { return QTime(10, minute, 30); });
        EXPECT_TRUE(interpolater.performTask());
        std::vector<float> published;
        for (const auto& change : recorder.changes()) {
            if (change.id == PROP_TEMP_F) {
                published.push_back(change.newValue);
            }
        }
        return published;
    }
};

struct Case {
    const char* name;
    std::vector<float> observations;
    std::vector<HiLo> forecasts;  // empty: no forecast extreme known
    std::vector<float> pressures;
    // One run per minute, in order; the expected Fahrenheit value, or NO for nothing.
    std::vector<std::pair<int, float>> runs;
};

const float NO = -1.0f;

TEST_F(TemperatureInterpolaterTest, PublishesStepsTowardsTheForecastExtremeAtItsMinutes) {
    const std::vector<Case> cases = {
        {"rising towards Hi 70",
         {60, 62},
         {{70, "Hi"}},
         {},
         {{32, 63}, {47, 64}, {2, 65}, {10, NO}, {17, NO}, {33, NO}}},
        {"a step may not reach the Hi", {60, 62}, {{64, "Hi"}}, {}, {{32, 63}, {47, NO}, {2, NO}}},
        {"falling towards Lo 50", {62, 60}, {{50, "Lo"}}, {}, {{32, 59}, {47, 58}, {2, 57}}},
        {"a step may not reach the Lo", {62, 60}, {{59, "Lo"}}, {}, {{32, NO}, {2, NO}}},
        {"rising while the Lo comes next", {60, 62}, {{50, "Lo"}}, {}, {{32, NO}, {47, NO}}},
        {"falling while the Hi comes next", {62, 60}, {{70, "Hi"}}, {}, {{32, NO}}},
        {"steady temperature", {60, 60}, {{70, "Hi"}}, {}, {{32, NO}}},
        {"already at the Hi", {68, 70}, {{70, "Hi"}}, {}, {{32, NO}}},
        {"an unknown label", {60, 62}, {{70, "High"}}, {}, {{32, NO}}},
        {"one observation only", {62}, {{70, "Hi"}}, {}, {{32, NO}}},
        {"no forecast extreme", {60, 62}, {}, {}, {{32, NO}, {47, NO}}},
        {"the latest forecast counts", {60, 62}, {{64, "Hi"}, {70, "Hi"}}, {}, {{47, 64}}},
        {"the last two observations count", {50, 60, 62}, {{70, "Hi"}}, {}, {{32, 63}}},
        {"three rising pressures forbid it",
         {60, 62},
         {{70, "Hi"}},
         {1010, 1011, 1012},
         {{32, NO}, {47, NO}}},
        {"three falling pressures allow it",
         {60, 62},
         {{70, "Hi"}},
         {1012, 1011, 1010},
         {{32, 63}}},
        {"two rising pressures allow it", {60, 62}, {{70, "Hi"}}, {1010, 1011}, {{32, 63}}},
        {"an unchanged pressure allows it", {60, 62}, {{70, "Hi"}}, {1010, 1010, 1011}, {{32, 63}}},
        {"only the last three pressures count",
         {60, 62},
         {{70, "Hi"}},
         {1013, 1010, 1011, 1012},
         {{32, NO}}},
        {"an old fall no longer counts",
         {60, 62},
         {{70, "Hi"}},
         {1010, 1011, 1012, 1011},
         {{32, 63}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempRecorder recorder;
        TemperatureInterpolater interpolater;
        for (float value : c.observations) {
            observe(value);
        }
        for (const HiLo& hiLo : c.forecasts) {
            forecast(hiLo);
        }
        for (float value : c.pressures) {
            pressure(value);
        }
        for (const auto& run : c.runs) {
            SCOPED_TRACE("minute " + std::to_string(run.first));
            const std::vector<float> published = runAt(interpolater, recorder, run.first);
            if (run.second == NO) {
                EXPECT_TRUE(published.empty());
            } else {
                EXPECT_EQ(published, std::vector<float>{run.second});
            }
        }
    }
}

TEST_F(TemperatureInterpolaterTest, PublishesCelsiusBesideFahrenheitFromTheLastObservation) {
    TempRecorder recorder;
    TemperatureInterpolater interpolater;
    observe(60.0f);
    observe(62.5f);
    forecast({70, "Hi"});
    runAt(interpolater, recorder, 47);

    const auto changes = recorder.changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].id, PROP_TEMP_F);
    EXPECT_EQ(changes[0].oldValue, 62.5f);
    EXPECT_EQ(changes[0].newValue, 64.5f);
    EXPECT_EQ(changes[1].id, PROP_TEMP_C);
    EXPECT_EQ(changes[1].oldValue, Converter::fahrenheitToCelsius(62.5f));
    EXPECT_EQ(changes[1].newValue, Converter::fahrenheitToCelsius(64.5f));
}

TEST_F(TemperatureInterpolaterTest, AnObservationWithoutATemperatureTeachesNothing) {
    TempRecorder recorder;
    TemperatureInterpolater interpolater;
    observe(60.0f);
    observe(62.5f);
    observe(std::numeric_limits<float>::quiet_NaN());
    pressure(std::numeric_limits<float>::quiet_NaN());
    forecast({70, "Hi"});
    // The step starts from the last reading, not from the missing one.
    EXPECT_EQ(runAt(interpolater, recorder, 47), std::vector<float>{64.5f});
}

TEST_F(TemperatureInterpolaterTest, OtherMinutesAreHonoured) {
    TempRecorder recorder;
    TemperatureInterpolater interpolater(5, 6, 7);
    observe(60.0f);
    observe(62.0f);
    forecast({70, "Hi"});
    EXPECT_EQ(runAt(interpolater, recorder, 5), std::vector<float>{63.0f});
    EXPECT_EQ(runAt(interpolater, recorder, 7), std::vector<float>{65.0f});
    EXPECT_TRUE(runAt(interpolater, recorder, 32).empty());
}

TEST_F(TemperatureInterpolaterTest, ResetClearsObservationsPressuresAndTheForecastExtreme) {
    testsupport::LogCapture log;
    TempRecorder recorder;
    TemperatureInterpolater interpolater;
    observe(60.0f);
    observe(62.0f);
    forecast({70, "Hi"});
    pressure(1010.0f);
    pressure(1011.0f);
    EXPECT_TRUE(log.contains("INFO: TemperatureInterpolater::HiLoTempHandler received 70 Hi"));

    NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
    EXPECT_TRUE(
        log.contains("INFO: TemperatureInterpolater::DataResetHandler reset internal data"));

    observe(64.0f);
    EXPECT_TRUE(runAt(interpolater, recorder, 32).empty()) << "one observation since the reset";
    observe(65.0f);
    EXPECT_TRUE(runAt(interpolater, recorder, 32).empty()) << "the forecast extreme was cleared";
    forecast({70, "Hi"});
    // The readings before the reset are gone: with them this one would make three rising.
    pressure(1012.0f);
    EXPECT_EQ(runAt(interpolater, recorder, 32), std::vector<float>{66.0f});
}

TEST_F(TemperatureInterpolaterTest, AThrowingListenerDoesNotLeaveItDeafToObservations) {
    class Throwing : public FloatPropertyChangeListener {
    public:
        void handlePropertyChange(short, const float* const, const float* const) override {
            throw std::runtime_error("listener failed");
        }
    } throwing;
    TempRecorder recorder;
    TemperatureInterpolater interpolater;
    observe(60.0f);
    observe(62.0f);
    forecast({70, "Hi"});
    NotificationService::Instance().addPropertyChangeListener<float>(&throwing, {PROP_TEMP_C});
    interpolater.setClock([] { return QTime(10, 32); });
    EXPECT_THROW(interpolater.performTask(), std::runtime_error);
    NotificationService::Instance().removePropertyChangeListener<float>(&throwing, {PROP_TEMP_C});

    observe(64.0f);  // heard as an observation: 62 -> 64 rising
    EXPECT_EQ(runAt(interpolater, recorder, 47), std::vector<float>{66.0f});
}

TEST_F(TemperatureInterpolaterTest, ItsScheduleSurvivesShutdownAndLeavesWithIt) {
    testsupport::LogCapture log;
    unsigned long id = 0;
    {
        TemperatureInterpolater interpolater;
        id = interpolater.getTaskId();
        EXPECT_EQ(interpolater.getTaskName(), "TemperatureInterpolater");
        EXPECT_FALSE(interpolater.contributesToProgressBar());
        EXPECT_EQ(interpolater.getDescription(), "");
        EXPECT_TRUE(log.contains(
            "INFO: Second Task <TemperatureInterpolater> added for execution at every 60 "
            "seconds."));
        TaskScheduler::instance().shutdown();
        EXPECT_FALSE(TaskScheduler::instance().isTaskComplete(id)) << "still scheduled";
    }
    EXPECT_FALSE(log.contains("Task_t* not found"));
    log.clear();
    EXPECT_TRUE(TaskScheduler::instance().isTaskComplete(id));
    EXPECT_TRUE(log.contains("Could not find task with id " + std::to_string(id)));
    // Its listeners are gone with it.
    observe(61.0f);
    pressure(1000.0f);
    forecast({80, "Hi"});
    NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
}

TEST_F(TemperatureInterpolaterTest, RunsOnTheSchedulersRunnerThread) {
    TempRecorder recorder;
    TemperatureInterpolater interpolater;
    interpolater.setClock([] { return QTime(9, 2, 0); });
    observe(62.0f);
    observe(60.0f);
    forecast({50, "Lo"});
    recorder.clear();

    TaskScheduler& scheduler = TaskScheduler::instance();
    scheduler.startScheduler();
    scheduler.forceRun();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (recorder.changes().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    scheduler.shutdown();
    const auto changes = recorder.changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].newValue, 57.0f);
}

}  // namespace
