#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <limits>
#include <string>
#include <thread>

#include "GaugeTestSupport.h"
#include "display/WindViewModel.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using gaugetest::pointOf;
using namespace vpcore;

namespace {

class WindViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().reset();
        NotificationService::Instance().registerPropertyIds(
            {PROP_WIND_MPH, PROP_WIND_KMH, PROP_WIND_DIR, PROP_CONDITIONS_RESET});
    }
    void TearDown() override { NotificationService::Instance().reset(); }

    static void publishSpeed(short id, float newValue) {
        const float old = -1.0f;
        NotificationService::Instance().notify<float>(id, &old, &newValue);
    }
    static void publishDirection(const std::string& direction) {
        const std::string old = "<none>";
        NotificationService::Instance().notify<std::string>(PROP_WIND_DIR, &old, &direction);
    }
};

TEST_F(WindViewModelTest, DirectionAndSpeedMakeNeedleReadoutAndToolTip) {
    WindViewModel model(WindViewModel::UNITS_MPH);
    model.constructView();

    publishDirection("SW");
    publishSpeed(PROP_WIND_MPH, 12.5f);

    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "SW"));
    EXPECT_EQ(model.getDigitalValue(), "12.5");
    EXPECT_EQ(model.getToolTip(), "Wind\nComing from the SW at 12.5 mph ");

    publishDirection("NNW");  // not a label: the needle stays
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "SW"));

    // No reading of the speed is no speed, not "nan" and not calm.
    publishSpeed(PROP_WIND_MPH, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(model.getDigitalValue(), "NA");
}

TEST_F(WindViewModelTest, CalmVariableAndResetSendTheNeedleHome) {
    struct Case {
        const char* name;
        std::function<void()> event;
        const char* readout;
        const char* toolTip;
    };
    const Case cases[] = {
        {"variable", [] { publishDirection("Var"); }, "5", "Wind\nVariable at 5 km/h "},
        {"calm", [] { publishDirection("Calm"); }, "Calm", "Wind\nCalm"},
        {"reset", [] { NotificationService::Instance().notify(PROP_CONDITIONS_RESET); }, "Calm",
         "Wind\nCalm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindViewModel model(WindViewModel::UNITS_KMH);
        model.constructView();
        publishDirection("E");
        publishSpeed(PROP_WIND_KMH, 5.0f);
        ASSERT_EQ(model.getNeedleEndpoint(), pointOf(model, "E"));

        c.event();

        EXPECT_EQ(model.getNeedleEndpoint(), Vector3D(0, 0, 0));
        EXPECT_EQ(model.getDigitalValue(), c.readout);
        EXPECT_EQ(model.getToolTip(), c.toolTip);
    }
}

TEST_F(WindViewModelTest, ASpeedAfterCalmBringsBackTheDirectionForm) {
    WindViewModel model(WindViewModel::UNITS_MPH);
    model.constructView();
    publishDirection("N");
    publishDirection("Calm");
    publishSpeed(PROP_WIND_MPH, 3.0f);
    EXPECT_EQ(model.getToolTip(), "Wind\nComing from the N at 3 mph ");
    EXPECT_FALSE(model.isVariableWind());
}

TEST_F(WindViewModelTest, EachFaceFollowsTheSpeedOfItsUnit) {
    WindViewModel mph(WindViewModel::UNITS_MPH);
    WindViewModel kmh(WindViewModel::UNITS_KMH);
    publishSpeed(PROP_WIND_MPH, 10.0f);
    publishSpeed(PROP_WIND_KMH, 16.0934f);
    EXPECT_EQ(mph.getDigitalValue(), "10");
    EXPECT_EQ(kmh.getDigitalValue(), "16.0934");
    EXPECT_EQ(kmh.getUnits(), WindViewModel::UNITS_KMH);
}

TEST_F(WindViewModelTest, EventsBeforeTheViewIsBuiltAreSafe) {
    WindViewModel model(WindViewModel::UNITS_MPH);
    publishDirection("SW");
    NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
    EXPECT_EQ(model.getWindModelImpl(), nullptr);
    EXPECT_EQ(model.getNeedleEndpoint(), Vector3D(0, 0, 0));
    EXPECT_EQ(model.getDigitalValue(), "Calm");
    EXPECT_TRUE(model.isActive());
    model.setActive(false);  // the wind gauge has no active state
    EXPECT_TRUE(model.isActive());
}

TEST_F(WindViewModelTest, ADestroyedModelAndItsHelpersHearNothingMore) {
    { WindViewModel model(WindViewModel::UNITS_MPH); }
    publishDirection("N");
    publishSpeed(PROP_WIND_MPH, 4.0f);
    NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
    SUCCEED();
}

}  // namespace

namespace {

// The GUI thread reads texts while the runner thread publishes; run under ThreadSanitizer.
// (The needle's three floats are read by pointer without a lock, so they are not read here.)
TEST_F(WindViewModelTest, TextsCanBeReadWhileAnotherThreadPublishes) {
    WindViewModel model(WindViewModel::UNITS_MPH);
    model.constructView();
    std::atomic<bool> done{false};
    std::thread runner([&] {
        const char* directions[] = {"N", "Var", "SW", "Calm", "E"};
        for (int i = 0; i < 2000; ++i) {
            publishDirection(directions[i % 5]);
            publishSpeed(PROP_WIND_MPH, static_cast<float>(i % 40));
            if (i % 97 == 0) {
                NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
            }
        }
        done = true;
    });
    while (!done) {
        EXPECT_EQ(model.getToolTip().rfind("Wind\n", 0), 0u);
        model.getDigitalValue();
    }
    runner.join();
    EXPECT_EQ(model.getToolTip(), "Wind\nComing from the E at 39 mph ");
}

}  // namespace
