#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "GaugeTestSupport.h"
#include "display/TempEngViewModel.h"
#include "display/TempMetricViewModel.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using gaugetest::pointOf;
using namespace vpcore;

namespace {

// What a tray-like follower of the gauge hears through its delegates.
class DelegateRecorder {
public:
    void onProperty(short propId, float value) { properties.emplace_back(propId, value); }
    void onActive(bool active) { actives.push_back(active); }
    std::vector<std::pair<short, float>> properties;
    std::vector<bool> actives;
};

class TemperatureViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().reset();
        NotificationService::Instance().registerPropertyIds({PROP_TEMP_F, PROP_TEMP_C});
    }
    void TearDown() override { NotificationService::Instance().reset(); }

    static void publish(short id, float oldValue, float newValue) {
        NotificationService::Instance().notify<float>(id, &oldValue, &newValue);
    }
};

TEST_F(TemperatureViewModelTest, AReadingMovesTheNeedleToTheNearestDegreeAndReachesTheDelegate) {
    TempEngViewModel model;
    model.constructView();
    DelegateRecorder recorder;
    model.setPropertyChangeDelegate(
        fastdelegate::FastDelegate2<short, float>(&recorder, &DelegateRecorder::onProperty));

    publish(PROP_TEMP_F, 0.0f, 68.26f);

    EXPECT_EQ(model.getDigitalValue(), "68.3");
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "68"));
    EXPECT_FLOAT_EQ(model.getValue(), 68.26f);
    ASSERT_EQ(recorder.properties.size(), 1u);
    EXPECT_EQ(recorder.properties[0].first, PROP_TEMP_F);
    EXPECT_FLOAT_EQ(recorder.properties[0].second, 68.26f);
    EXPECT_EQ(model.getToolTip(), "Air temperature\n68.3 \u00B0F");
}

// A reset of the conditions (a new place, or none) brings both faces back to where a fresh
// model starts, and the follower hears it.
TEST_F(TemperatureViewModelTest, AResetOfTheConditionsBringsTheFacesBackToTheirStart) {
    NotificationService::Instance().registerPropertyIds({PROP_CONDITIONS_RESET});
    TempEngViewModel fahrenheit;
    TempMetricViewModel celsius;
    fahrenheit.constructView();
    celsius.constructView();
    const Vector3D home = fahrenheit.getNeedleEndpoint();
    DelegateRecorder recorder;
    fahrenheit.setPropertyChangeDelegate(
        fastdelegate::FastDelegate2<short, float>(&recorder, &DelegateRecorder::onProperty));
    publish(PROP_TEMP_F, 0.0f, 64.0f);
    publish(PROP_TEMP_C, 0.0f, 17.8f);
    ASSERT_EQ(fahrenheit.getDigitalValue(), "64.0");

    NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
    for (AbstractTemperatureViewModel* model :
         {static_cast<AbstractTemperatureViewModel*>(&fahrenheit),
          static_cast<AbstractTemperatureViewModel*>(&celsius)}) {
        EXPECT_EQ(model->getDigitalValue(), "0.0");
        EXPECT_FLOAT_EQ(model->getValue(), 0.0f);
    }
    EXPECT_EQ(fahrenheit.getNeedleEndpoint(), home) << "home, not at zero degrees";
    EXPECT_NE(fahrenheit.getNeedleEndpoint(), pointOf(fahrenheit, "0"));
    ASSERT_EQ(recorder.properties.size(), 2u);
    EXPECT_EQ(recorder.properties[1].first, PROP_TEMP_F);
    EXPECT_FLOAT_EQ(recorder.properties[1].second, 0.0f);
}

TEST_F(TemperatureViewModelTest, WholeDegreesRoundHalvesAwayFromZero) {
    TempMetricViewModel model;
    model.constructView();
    model.setValue(-3.5f);
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "-4"));
}

TEST_F(TemperatureViewModelTest, NoReadingOrAValueNoIntHoldsLeavesTheNeedleAndReadsNA) {
    TempEngViewModel model;
    model.constructView();
    publish(PROP_TEMP_F, 0.0f, 68.26f);
    const Vector3D at68 = model.getNeedleEndpoint();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Published by no provider (they check the range), but the conversion to the needle's
    // whole degrees must stay defined whatever arrives.
    for (float value : {nan, 1e30f, -std::numeric_limits<float>::infinity(), 3e9f}) {
        SCOPED_TRACE(value);
        publish(PROP_TEMP_F, 68.26f, value);
        EXPECT_EQ(model.getNeedleEndpoint(), at68);
    }
    publish(PROP_TEMP_F, 0.0f, nan);
    EXPECT_EQ(model.getDigitalValue(), "NA");
    EXPECT_EQ(model.getToolTip(), "Air temperature\nNA \u00B0F");
}

TEST_F(TemperatureViewModelTest, EachFaceHearsOnlyItsOwnUnit) {
    TempEngViewModel fahrenheit;
    TempMetricViewModel celsius;
    fahrenheit.constructView();
    celsius.constructView();

    publish(PROP_TEMP_C, 0.0f, 21.04f);

    EXPECT_EQ(fahrenheit.getDigitalValue(), "0.0");
    EXPECT_EQ(fahrenheit.getNeedleEndpoint(), Vector3D(0, 0, 0));
    EXPECT_EQ(celsius.getDigitalValue(), "21.0");
    EXPECT_EQ(celsius.getNeedleEndpoint(), pointOf(celsius, "21"));
    // A property the model hears nothing of, delivered directly, is ignored as well.
    const float old = 1.0f, now = 2.0f;
    celsius.handlePropertyChange(PROP_TEMP_F, &old, &now);
    EXPECT_EQ(celsius.getDigitalValue(), "21.0");
}

TEST_F(TemperatureViewModelTest, AReadingOffTheScaleKeepsTheNeedleButUpdatesTheReadout) {
    struct Case {
        std::function<std::unique_ptr<AbstractTemperatureViewModel>()> make;
        short id;
        float onScale;
        const char* onScaleLabel;
        float offScale;
        const char* readout;
    };
    const Case cases[] = {
        {[] { return std::make_unique<TempEngViewModel>(); }, PROP_TEMP_F, 99.7f, "100", 130.0f,
         "130.0"},
        {[] { return std::make_unique<TempMetricViewModel>(); }, PROP_TEMP_C, -49.8f, "-50", -55.6f,
         "-55.6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.readout);
        auto model = c.make();
        model->constructView();
        publish(c.id, 0.0f, c.onScale);
        publish(c.id, c.onScale, c.offScale);
        EXPECT_EQ(model->getNeedleEndpoint(), pointOf(*model, c.onScaleLabel));
        EXPECT_EQ(model->getDigitalValue(), c.readout);
    }
}

TEST_F(TemperatureViewModelTest, FreshModelsAreActiveAndSayZeroInTheirUnit) {
    TempEngViewModel fahrenheit;
    TempMetricViewModel celsius;
    EXPECT_TRUE(fahrenheit.isActive());
    EXPECT_EQ(fahrenheit.getToolTip(), "Air temperature\n0.0 \u00B0F");
    EXPECT_EQ(celsius.getToolTip(), "Air temperature\n0.0 \u00B0C");
    EXPECT_EQ(celsius.getMajorTickDisplayValues(),
              (std::vector<std::string>{"-50", "-40", "-30", "-20", "-10", "0", "10", "20", "30",
                                        "40", "50"}));
    // A reading before the widget built the view only reaches the read-out.
    publish(PROP_TEMP_F, 0.0f, 50.0f);
    EXPECT_EQ(fahrenheit.getDigitalValue(), "50.0");
    EXPECT_EQ(fahrenheit.getTicks(), nullptr);
}

TEST_F(TemperatureViewModelTest, ActiveDelegateHearsEverySetActive) {
    TempMetricViewModel model;
    model.setActive(false);  // no delegate yet: only the flag changes
    EXPECT_FALSE(model.isActive());
    DelegateRecorder recorder;
    model.setActiveDelegate(
        fastdelegate::FastDelegate1<bool>(&recorder, &DelegateRecorder::onActive));
    model.setActive(true);
    model.setActive(true);
    model.setActive(false);
    EXPECT_EQ(recorder.actives, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(model.isActive());
}

TEST_F(TemperatureViewModelTest, ADestroyedModelHearsNothingMore) {
    {
        TempEngViewModel model;
        model.constructView();
    }
    publish(PROP_TEMP_F, 0.0f, 70.0f);  // would reach freed memory if still registered
    SUCCEED();
}

}  // namespace
