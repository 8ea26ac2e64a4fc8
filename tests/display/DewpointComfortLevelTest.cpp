#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ExceptionText.h"
#include "LogCapture.h"
#include "display/DewpointComfortLevel.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using testsupport::LogCapture;
using vpcore::DewpointComfortLevel;
using vpcore::NotificationService;

namespace {

class LevelRecorder : public vpcore::StringPropertyChangeListener {
public:
    LevelRecorder() {
        NotificationService::Instance().addPropertyChangeListener<std::string>(
            this, {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
    }
    ~LevelRecorder() override {
        NotificationService::Instance().removePropertyChangeListener<std::string>(
            this, {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
    }
    void handlePropertyChange(short, const std::string* const oldValue,
                              const std::string* const newValue) override {
        published.emplace_back(*oldValue, *newValue);
    }
    std::vector<std::pair<std::string, std::string>> published;
};

class DewpointComfortLevelTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().reset();
        // The current-conditions model admits these in the program.
        NotificationService::Instance().registerPropertyIds(
            {vpcore::PROP_TEMP_F, vpcore::PROP_DEWPOINT_F});
    }
    void TearDown() override { NotificationService::Instance().reset(); }

    static void publish(short id, float value) {
        const float before = -1000.0f;
        NotificationService::Instance().notify<float>(id, &before, &value);
    }
};

TEST(DewpointComfortLevelRulesTest, TheRoundedDewPointPicksTheLevel) {
    struct Case {
        float dewpointF;
        const char* level;
    };
    const Case cases[] = {
        {-40.0f, "Very dry"},
        {29.4f, "Very dry"},
        {29.5f, "Dry"},  // halves round away from zero
        {49.4f, "Dry"},
        {49.5f, "Very comfortable"},
        {54.4f, "Very comfortable"},
        {54.5f, "Comfortable"},
        {59.0f, "Comfortable"},
        {59.5f, "Slightly uncomfortable"},
        {64.4f, "Slightly uncomfortable"},
        {65.0f, "Somewhat uncomfortable"},
        {69.49f, "Somewhat uncomfortable"},
        {70.0f, "Oppressive"},
        {74.4f, "Oppressive"},
        {74.5f, "Extremely oppressive"},
        {80.4f, "Extremely oppressive"},
        {80.5f, "Dangerously oppressive"},
        {95.0f, "Dangerously oppressive"},
        {std::numeric_limits<float>::quiet_NaN(), "NA"},  // no number, no level
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dewpointF);
        EXPECT_EQ(DewpointComfortLevel::comfortLevel(c.dewpointF), c.level);
    }

    LogCapture log;
    DewpointComfortLevel::comfortLevel(54.5f);
    EXPECT_EQ(log.count("INFO: DewpointComfortLevel::comfortLevel 54.5 rounded value: 55"), 1);
}

TEST(DewpointComfortLevelRulesTest, EveryLevelHasADescriptionAndAColourAndUnknownNamesThrow) {
    const std::vector<std::string> expected = {"NA",
                                               "Very dry",
                                               "Dry",
                                               "Very comfortable",
                                               "Comfortable",
                                               "Slightly uncomfortable",
                                               "Somewhat uncomfortable",
                                               "Oppressive",
                                               "Extremely oppressive",
                                               "Dangerously oppressive"};
    const std::vector<std::string> levels = DewpointComfortLevel::comfortLevels();
    ASSERT_EQ(levels, expected);
    for (const std::string& level : levels) {
        SCOPED_TRACE(level);
        EXPECT_FALSE(DewpointComfortLevel::description(level).empty());
        const auto [red, green, blue] = DewpointComfortLevel::colorCode(level);
        for (int component : {red, green, blue}) {
            EXPECT_GE(component, 0);
            EXPECT_LE(component, 255);
        }
    }

    EXPECT_EQ(
        DewpointComfortLevel::description("NA"),
        "Dewpoint comfort level is only applicable for\ntemperatures 60\xC2\xB0 F and above.");
    EXPECT_EQ(DewpointComfortLevel::description("Very dry"),
              "Very dry. Nose bleeds and cracked skin\ncan occur in some people.");
    EXPECT_EQ(DewpointComfortLevel::colorCode("NA"), std::make_tuple(100, 100, 100));
    EXPECT_EQ(DewpointComfortLevel::colorCode("Very comfortable"), std::make_tuple(25, 25, 255));
    EXPECT_EQ(DewpointComfortLevel::colorCode("Dangerously oppressive"),
              std::make_tuple(255, 0, 0));

    EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(
                  [] { DewpointComfortLevel::colorCode("Humid"); }),
              "Humid is invalid.");
    EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(
                  [] { DewpointComfortLevel::description("dry"); }),
              "dry is invalid.");
    EXPECT_THROW(DewpointComfortLevel::description(""), std::invalid_argument);
}

TEST_F(DewpointComfortLevelTest, EveryDewPointIsJudgedAgainstTheAirTemperatureHeardLast) {
    DewpointComfortLevel comfort;
    LevelRecorder recorder;

    publish(vpcore::PROP_DEWPOINT_F, 70.0f);  // no air temperature yet
    publish(vpcore::PROP_TEMP_F, 75.0f);      // remembered, nothing published
    EXPECT_EQ(recorder.published.size(), 1u);
    publish(vpcore::PROP_DEWPOINT_F, 54.5f);
    publish(vpcore::PROP_DEWPOINT_F, 54.6f);  // same level again: published again
    publish(vpcore::PROP_TEMP_F, 59.9f);
    publish(vpcore::PROP_DEWPOINT_F, 70.0f);
    publish(vpcore::PROP_TEMP_F, 60.0f);
    publish(vpcore::PROP_DEWPOINT_F, 59.6f);
    publish(vpcore::PROP_TEMP_F, std::numeric_limits<float>::quiet_NaN());
    publish(vpcore::PROP_DEWPOINT_F, 59.6f);

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"", "NA"},
        {"", "Comfortable"},
        {"", "Comfortable"},
        {"", "NA"},
        {"", "Slightly uncomfortable"},
        {"", "NA"},
    };
    EXPECT_EQ(recorder.published, expected);
}

TEST_F(DewpointComfortLevelTest, ASecondInstanceIsRefusedWithoutLeavingAListenerBehind) {
    LevelRecorder recorder;
    {
        DewpointComfortLevel comfort;
        EXPECT_EQ(
            testsupport::exceptionText<std::invalid_argument>([] { DewpointComfortLevel second; }),
            "Cannot have duplicate PropIds 27. PropIds are unique and global to the "
            "application.");
        publish(vpcore::PROP_TEMP_F, 80.0f);
        publish(vpcore::PROP_DEWPOINT_F, 81.0f);
        ASSERT_EQ(recorder.published.size(), 1u);  // the first instance alone heard it
        EXPECT_EQ(recorder.published[0].second, "Dangerously oppressive");

        // A copy carries the air temperature but listens to nothing.
        DewpointComfortLevel copy(comfort);
        const float old = 0.0f, dew = 40.0f;
        copy.handlePropertyChange(vpcore::PROP_DEWPOINT_F, &old, &dew);
        EXPECT_EQ(recorder.published.back().second, "Dry");
    }
    // Gone: a later dew point reaches nobody (and touches no freed object).
    publish(vpcore::PROP_DEWPOINT_F, 50.0f);
    EXPECT_EQ(recorder.published.size(), 2u);
}

}  // namespace
