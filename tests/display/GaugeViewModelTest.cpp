// The generic scale geometry and the numeric scale helper, on small scales where a fault
// shows; the real faces are checked in GaugeGeometryTest.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ExceptionText.h"
#include "display/GaugeViewModel.h"
#include "display/NumericScaleViewModelHelper.h"

using namespace vpcore;
using testsupport::exceptionText;

namespace {

std::vector<TickDisplay*> majorTicks(const std::vector<std::string>& labels) {
    std::vector<TickDisplay*> ticks;
    for (const std::string& label : labels) {
        ticks.push_back(new MajorTickDisplay(label));
    }
    return ticks;
}

std::vector<std::string> labelsOf(const std::vector<TickDisplay*>& ticks) {
    std::vector<std::string> labels;
    for (const TickDisplay* tick : ticks) {
        labels.push_back(tick->label);
    }
    return labels;
}

// Owns the given ticks until a helper call takes them over.
struct GivenTicks {
    explicit GivenTicks(const std::vector<std::string>& labels) {
        for (const std::string& label : labels) {
            ticks.push_back(new MajorTickDisplay(label));
        }
    }
    ~GivenTicks() {
        if (!handedOver) {
            for (MajorTickDisplay* tick : ticks) {
                delete tick->colour;
                delete tick;
            }
        }
    }
    std::vector<MajorTickDisplay*> ticks;
    bool handedOver = false;
};

TEST(GaugeViewModelTest, RotationAndDirectionSetWhereTheFirstTickLies) {
    struct Case {
        DrawDirection_t direction;
        float divisor;
        std::vector<std::string> order;
    };
    const std::vector<std::string> labels = {"a", "b", "c", "d", "e", "f", "g", "h"};
    const Case cases[] = {
        {DRAW_DIRECTION_NORMAL, 4.0f, {"h", "a", "b", "c", "d", "e", "f", "g"}},    // by 1
        {DRAW_DIRECTION_REVERSED, 4.0f, {"a", "h", "g", "f", "e", "d", "c", "b"}},  // by 1
        {DRAW_DIRECTION_NORMAL, 1.0f, {"b", "c", "d", "e", "f", "g", "h", "a"}},    // by 7
        {DRAW_DIRECTION_NORMAL, 8.0f, {"a", "b", "c", "d", "e", "f", "g", "h"}},    // 0: none
        {DRAW_DIRECTION_NORMAL, 2.7f, {"h", "a", "b", "c", "d", "e", "f", "g"}},    // 1.96: by 1
        {DRAW_DIRECTION_NORMAL, 2.6f, {"g", "h", "a", "b", "c", "d", "e", "f"}},    // 2.08: by 2
        {DRAW_DIRECTION_NORMAL, 0.0f, {"a", "b", "c", "d", "e", "f", "g", "h"}},    // inf: none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.divisor);
        GaugeViewModel<std::string> model(majorTicks(labels), 0.5f, false, Vector3D(), c.direction,
                                          c.divisor);
        EXPECT_EQ(labelsOf(*model.getTicks()), c.order);
    }
}

TEST(GaugeViewModelTest, TicksRunClockwiseFromThePositiveXAxis) {
    GaugeViewModel<std::string> model(majorTicks({"a", "b", "c", "d"}), 2.0f, false, Vector3D(),
                                      DRAW_DIRECTION_NORMAL, 8.0f);
    const std::vector<TickDisplay*>& ticks = *model.getTicks();
    const float expected[][2] = {{2.0f, 0.0f}, {0.0f, -2.0f}, {-2.0f, 0.0f}, {0.0f, 2.0f}};
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        SCOPED_TRACE(ticks[i]->label);
        EXPECT_NEAR(ticks[i]->position->x, expected[i][0], 1e-6);
        EXPECT_NEAR(ticks[i]->position->y, expected[i][1], 1e-6);
    }
}

TEST(GaugeViewModelTest, MinorTicksBetweenSitOffsetWithTheGaugeColour) {
    const Vector3D grey(0.5f, 0.5f, 0.5f);
    GaugeViewModel<std::string> model(majorTicks({"a", "b", "c"}), 1.0f, true, grey,
                                      DRAW_DIRECTION_NORMAL, 8.0f);
    const std::vector<TickDisplay*>& ticks = *model.getTicks();
    ASSERT_EQ(ticks.size(), 6u);
    GaugeViewModel<std::string> unshifted(majorTicks({"0", "1", "2", "3", "4", "5"}), 1.0f, false,
                                          Vector3D(), DRAW_DIRECTION_NORMAL, 8.0f);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        SCOPED_TRACE(i);
        const Vector3D onCircle = *(*unshifted.getTicks())[i]->position;
        if (i % 2 == 0) {
            EXPECT_NE(dynamic_cast<MajorTickDisplay*>(ticks[i]), nullptr);
            EXPECT_EQ(ticks[i]->label, std::string(1, static_cast<char>('a' + i / 2)));
            EXPECT_EQ(*ticks[i]->position, onCircle);
        } else {
            ASSERT_NE(dynamic_cast<MinorTickDisplay*>(ticks[i]), nullptr);
            EXPECT_EQ(ticks[i]->label, "");
            ASSERT_NE(ticks[i]->colour, nullptr);
            EXPECT_EQ(*ticks[i]->colour, grey);
            EXPECT_FLOAT_EQ(ticks[i]->position->x, onCircle.x + 0.06f);
            EXPECT_FLOAT_EQ(ticks[i]->position->y, onCircle.y + 0.05f);
        }
    }
    // Minor ticks have no label of their own: the needle never goes to them.
    model.setValue("b");
    const Vector3D atB = model.getNeedleEndpoint();
    model.setValue("");
    EXPECT_EQ(model.getNeedleEndpoint(), atB);
}

TEST(GaugeViewModelTest, NeedleMovesOnlyToLabelsAndStartsAtTheCentre) {
    std::vector<TickDisplay*> ticks;
    for (const char* label : {"29.8", "29.9", "30"}) {
        ticks.push_back(new MajorTickDisplay(label));
    }
    GaugeViewModel<float> model(ticks, 0.5f, false, Vector3D(), DRAW_DIRECTION_NORMAL, 8.0f);
    EXPECT_EQ(model.getNeedleEndpoint(), Vector3D(0, 0, 0));

    model.setValue(29.92f);  // "29.92" is no label
    EXPECT_EQ(model.getNeedleEndpoint(), Vector3D(0, 0, 0));
    model.setValue(29.9f);
    EXPECT_EQ(model.getNeedleEndpoint(), *(*model.getTicks())[1]->position);
    model.setValue(30.0f);  // written "30", six significant digits without trailing zeros
    EXPECT_EQ(model.getNeedleEndpoint(), *(*model.getTicks())[2]->position);
    model.setValue(31.0f);
    EXPECT_EQ(model.getNeedleEndpoint(), *(*model.getTicks())[2]->position);
    EXPECT_FLOAT_EQ(model.getValue(), 31.0f);
    model.resetNeedle();
    EXPECT_EQ(model.getNeedleEndpoint(), Vector3D(0, 0, 0));
}

TEST(GaugeViewModelTest, ValueTextIsTheTickLabelOfTheValue) {
    EXPECT_EQ(GaugeViewModel<int>::valueText(-60), "-60");
    EXPECT_EQ(GaugeViewModel<float>::valueText(29.9f), "29.9");
    EXPECT_EQ(GaugeViewModel<float>::valueText(1020.0f), "1020");
    EXPECT_EQ(GaugeViewModel<float>::valueText(27.5f), "27.5");
    EXPECT_EQ(GaugeViewModel<std::string>::valueText("SW"), "SW");
}

TEST(NumericScaleViewModelHelperTest, TemperatureScaleGetsItsMajorsInvisibleFillersAndAGap) {
    GivenTicks given({"-60", "-40", "-20", "0", "20", "40", "60", "80", "100", "120"});
    std::unique_ptr<GaugeViewModel<int>> model(NumericScaleViewModelHelper::createGaugeViewModel(
        NumericScale<int>(-60, 120, 1, 20), given.ticks, 0.5f, false, Vector3D(),
        DRAW_DIRECTION_NORMAL, false, 1000.0f));  // no rotation: the working list as built
    given.handedOver = true;
    const std::vector<TickDisplay*>& ticks = *model->getTicks();
    ASSERT_EQ(ticks.size(), 201u);
    for (int v = -60; v <= 120; ++v) {
        const TickDisplay* tick = ticks[v + 60];
        SCOPED_TRACE(v);
        EXPECT_EQ(tick->label, std::to_string(v));
        EXPECT_EQ(tick->visible, v % 20 == 0);
        if (v % 20 == 0) {
            EXPECT_EQ(tick, given.ticks[(v + 60) / 20]);
        }
    }
    for (std::size_t i = 181; i < 201; ++i) {
        EXPECT_EQ(ticks[i]->label, "");
        EXPECT_FALSE(ticks[i]->visible);
    }
}

TEST(NumericScaleViewModelHelperTest, MinorTicksAtHalfStepsAndNoGapOnShortScales) {
    const Vector3D grey(0.3f, 0.3f, 0.3f);
    GivenTicks given({"0", "4", "8"});
    std::unique_ptr<GaugeViewModel<int>> model(NumericScaleViewModelHelper::createGaugeViewModel(
        NumericScale<int>(0, 8, 1, 4), given.ticks, 1.0f, true, grey, DRAW_DIRECTION_NORMAL, true,
        1000.0f));
    given.handedOver = true;
    const std::vector<TickDisplay*>& ticks = *model->getTicks();
    EXPECT_EQ(labelsOf(ticks),
              (std::vector<std::string>{"8", "7", "6", "5", "4", "3", "2", "1", "0"}));
    for (const TickDisplay* tick : ticks) {
        SCOPED_TRACE(tick->label);
        const int v = std::stoi(tick->label);
        const bool minor = v % 2 == 0 && v % 4 != 0;
        EXPECT_EQ(dynamic_cast<const MinorTickDisplay*>(tick) != nullptr, minor);
        if (minor) {
            ASSERT_NE(tick->colour, nullptr);
            EXPECT_EQ(*tick->colour, grey);
        }
    }
    // The label of a minor tick keeps the point on the circle; its dot is shifted.
    model->setValue(6);
    const Vector3D* dot = ticks[2]->position;
    EXPECT_FLOAT_EQ(model->getNeedleEndpoint().x + 0.06f, dot->x);
    EXPECT_FLOAT_EQ(model->getNeedleEndpoint().y + 0.05f, dot->y);
}

TEST(NumericScaleViewModelHelperTest, BadScalesAndLabelsAreRefused) {
    struct Case {
        const char* name;
        NumericScale<int> scale;
        std::vector<std::string> labels;
        const char* error;
    };
    const Case cases[] = {
        {"odd display step",
         NumericScale<int>(0, 20, 1, 5),
         {"0", "5", "10"},
         "Numeric scale display step should be an even number."},
        {"label out of step",
         NumericScale<int>(-20, 20, 1, 10),
         {"-20", "-10", "10", "20"},
         "0 and display value 10 do not match. Make sure NumericScale values are in sync with "
         "the tickDisplay."},
        {"too few labels",
         NumericScale<int>(0, 20, 1, 10),
         {"0", "10"},
         "Not enough major ticks for the display values from 20 on."},
        {"zero step",
         NumericScale<int>(0, 20, 0, 10),
         {"0"},
         "Numeric scale step and display step must be positive."},
        {"zero display step",
         NumericScale<int>(0, 20, 1, 0),
         {"0"},
         "Numeric scale step and display step must be positive."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GivenTicks given(c.labels);
        EXPECT_EQ(exceptionText([&] {
                      delete NumericScaleViewModelHelper::createGaugeViewModel(
                          c.scale, given.ticks, 0.5f, true, Vector3D(), DRAW_DIRECTION_NORMAL, true,
                          4.0f);
                  }),
                  c.error);
    }
    EXPECT_THROW(NumericScaleViewModelHelper::createGaugeViewModel(
                     NumericScale<int>(0, 20, 1, 5), {}, 0.5f, false, Vector3D(),
                     DRAW_DIRECTION_NORMAL, true, 4.0f),
                 std::invalid_argument);
}

TEST(NumericScaleViewModelHelperTest, FloatScalesAreNotImplemented) {
    GivenTicks given({"27.5"});
    EXPECT_EQ(exceptionText<std::runtime_error>([&] {
                  NumericScaleViewModelHelper::createGaugeViewModel(
                      NumericScale<float>(27.5f, 31.5f, 0.1f, 0.5f), given.ticks, 0.5f, false,
                      Vector3D(), DRAW_DIRECTION_NORMAL);
              }),
              "Not implemented");
}

}  // namespace
