#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "GaugeTestSupport.h"
#include "display/BarometerEngViewModel.h"
#include "display/BarometerMetricViewModel.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using gaugetest::pointOf;
using namespace vpcore;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

class BarometerViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().reset();
        NotificationService::Instance().registerPropertyIds({PROP_PRESSURE_MB, PROP_PRESSURE_IN});
    }
    void TearDown() override { NotificationService::Instance().reset(); }

    static void publish(short id, float oldValue, float newValue) {
        NotificationService::Instance().notify<float>(id, &oldValue, &newValue);
    }
};

TEST_F(BarometerViewModelTest, InchesFollowReadingsWithTrendReadoutAndNeedle) {
    BarometerEngViewModel model;
    model.constructView();

    publish(PROP_PRESSURE_IN, 0.0f, 29.80f);
    EXPECT_EQ(model.getTrend(), "");
    EXPECT_EQ(model.getDigitalValue(), "29.80");
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "29.8"));
    EXPECT_EQ(model.getToolTip(), "Barometric pressure\n29.80 inHg ");

    publish(PROP_PRESSURE_IN, 29.80f, 29.92f);
    EXPECT_EQ(model.getDigitalValue(), "29.92");
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "29.9"));
    EXPECT_EQ(model.getToolTip(), "Barometric pressure\n29.92 inHg Rising");
}

// A reset of the conditions brings the face back to where a fresh model starts: no reading,
// no trend; the next reading has no trend either.
TEST_F(BarometerViewModelTest, AResetOfTheConditionsBringsTheFaceBackToItsStart) {
    NotificationService::Instance().registerPropertyIds({PROP_CONDITIONS_RESET});
    BarometerEngViewModel model;
    model.constructView();
    const Vector3D home = model.getNeedleEndpoint();
    const std::string freshReadout = model.getDigitalValue();
    const std::string freshTip = model.getToolTip();
    publish(PROP_PRESSURE_IN, 0.0f, 29.80f);
    publish(PROP_PRESSURE_IN, 29.80f, 30.02f);
    ASSERT_EQ(model.getTrend(), "Rising");

    NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
    EXPECT_EQ(model.getDigitalValue(), freshReadout);
    EXPECT_EQ(model.getTrend(), "");
    EXPECT_EQ(model.getToolTip(), freshTip);
    EXPECT_EQ(model.getNeedleEndpoint(), home);
    EXPECT_NE(home, pointOf(model, "30"));
    EXPECT_FLOAT_EQ(model.getValue(), 0.0f);

    publish(PROP_PRESSURE_IN, 0.0f, 29.92f);
    EXPECT_EQ(model.getTrend(), "");
}

TEST_F(BarometerViewModelTest, InchesNeedleTakesTenthsFrom27Point5To31Point4Only) {
    BarometerEngViewModel model;
    model.constructView();
    ASSERT_EQ(model.getTicks()->size(), 40u);

    model.setValue(27.46f);  // one decimal: 27.5
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "27.5"));
    model.setValue(31.44f);
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "31.4"));
    model.setValue(31.5f);  // no such label
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "31.4"));
    model.setValue(27.44f);
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "31.4"));
    // Every tenth the readings produce must find its label, however the float sum drifted:
    // each one moves the needle on.
    Vector3D previous = model.getNeedleEndpoint();
    for (int tenths = 275; tenths <= 314; ++tenths) {
        SCOPED_TRACE(tenths);
        model.setValue(tenths / 10.0f);
        EXPECT_NE(model.getNeedleEndpoint(), previous);
        previous = model.getNeedleEndpoint();
    }
}

TEST_F(BarometerViewModelTest, MillibarsRoundTheReadoutAndMoveTheNeedleToEvenValues) {
    BarometerMetricViewModel model;
    model.constructView();

    publish(PROP_PRESSURE_MB, 0.0f, 1013.2f);
    EXPECT_EQ(model.getDigitalValue(), "1013");
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "1014"));
    EXPECT_EQ(model.getTrend(), "");

    publish(PROP_PRESSURE_MB, 1013.2f, 1012.6f);
    EXPECT_EQ(model.getDigitalValue(), "1013");
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "1014"));
    EXPECT_EQ(model.getToolTip(), "Barometric pressure\n1013 mb Falling");
    EXPECT_FLOAT_EQ(model.getValue(), 1012.6f);

    publish(PROP_PRESSURE_MB, 1012.6f, 1061.0f);  // 1062 is off the scale
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "1014"));
    publish(PROP_PRESSURE_MB, 1061.0f, 939.4f);  // 939 goes up to 940
    EXPECT_EQ(model.getNeedleEndpoint(), pointOf(model, "940"));
}

TEST_F(BarometerViewModelTest, NeedleMillibarsAreTheNearestEvenWholeNumberUpwards) {
    const std::pair<float, int> cases[] = {
        {1013.2f, 1014}, {1012.6f, 1014}, {1012.4f, 1012}, {1012.5f, 1014},
        {1011.5f, 1012}, {0.0f, 0},       {-1.2f, 0},      {-2.5f, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(BarometerMetricViewModel::needleMillibars(c.first), c.second);
    }
    // What no int holds gives no needle position: the conversion would be undefined.
    for (float value : {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f,
                        -std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(value);
        EXPECT_FALSE(BarometerMetricViewModel::needleMillibars(value).has_value());
    }
    EXPECT_EQ(BarometerMetricViewModel::needleMillibars(2147483647.0f), std::nullopt)
        << "2^31 as a float";
}

TEST_F(BarometerViewModelTest, TrendComparesThePreviousReading) {
    struct Case {
        float oldValue, newValue;
        const char* trend;
    };
    const Case cases[] = {{0.0f, 29.9f, ""},        {29.9f, 29.9f, "Steady"},
                          {29.8f, 29.9f, "Rising"}, {1013.0f, 1009.0f, "Falling"},
                          {29.9f, kNaN, ""},  // no reading gives no trend, either way
                          {kNaN, 29.9f, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trend);
        EXPECT_EQ(AbstractBarometerViewModel::pressureTrend(c.oldValue, c.newValue), c.trend);
    }
}

TEST_F(BarometerViewModelTest, NoReadingReadsNAAndLeavesTheNeedle) {
    BarometerEngViewModel inches;
    BarometerMetricViewModel millibars;
    inches.constructView();
    millibars.constructView();
    publish(PROP_PRESSURE_IN, 0.0f, 29.92f);
    publish(PROP_PRESSURE_MB, 0.0f, 1013.2f);
    const Vector3D inchesAt = inches.getNeedleEndpoint();
    const Vector3D millibarsAt = millibars.getNeedleEndpoint();

    publish(PROP_PRESSURE_IN, 29.92f, kNaN);
    publish(PROP_PRESSURE_MB, 1013.2f, kNaN);

    EXPECT_EQ(inches.getDigitalValue(), "NA");
    EXPECT_EQ(millibars.getDigitalValue(), "NA");
    EXPECT_EQ(inches.getTrend(), "");
    EXPECT_EQ(inches.getNeedleEndpoint(), inchesAt);
    EXPECT_EQ(millibars.getNeedleEndpoint(), millibarsAt);
}

TEST_F(BarometerViewModelTest, EachFaceIgnoresTheOtherUnit) {
    BarometerEngViewModel inches;
    BarometerMetricViewModel millibars;
    inches.constructView();
    millibars.constructView();

    publish(PROP_PRESSURE_MB, 1000.0f, 1010.0f);
    EXPECT_EQ(inches.getDigitalValue(), "0.0");
    EXPECT_EQ(inches.getTrend(), "");
    EXPECT_EQ(inches.getNeedleEndpoint(), Vector3D(0, 0, 0));
    EXPECT_EQ(millibars.getDigitalValue(), "1010");
    EXPECT_EQ(millibars.getTrend(), "Rising");
}

TEST_F(BarometerViewModelTest, PressureFacesShowNoLabelsOfTheirOwn) {
    BarometerEngViewModel inches;
    BarometerMetricViewModel millibars;
    EXPECT_TRUE(inches.getMajorTickDisplayValues().empty());
    EXPECT_EQ(millibars.getMajorTickDisplayValues().size(), 13u);
    EXPECT_EQ(millibars.getMajorTickDisplayValues().front(), "940");
    EXPECT_EQ(millibars.getMajorTickDisplayValues().back(), "1060");
    EXPECT_EQ(millibars.getToolTip(), "Barometric pressure\n0.0 mb ");
    std::unique_ptr<QImage> first = inches.getBackPlateImage();
    std::unique_ptr<QImage> second = inches.getBackPlateImage();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
}

}  // namespace
