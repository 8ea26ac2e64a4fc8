// Holds the printed barometer dial against the barometer models themselves: every place the
// models can move a needle to must be the place the dial prints for that value.
#include <gtest/gtest.h>

#if __has_include("display/BarometerEngViewModel.h") && \
                  __has_include("display/BarometerMetricViewModel.h")
#define OMBRIX_HAVE_BAROMETER_MODELS 1
#include "display/BarometerEngViewModel.h"
#include "display/BarometerMetricViewModel.h"
#if __has_include("display/TickDisplay.h")
#include "display/TickDisplay.h"
#endif
#endif

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "PlateGeometry.h"

namespace {

using namespace ombriximages;

#ifdef OMBRIX_HAVE_BAROMETER_MODELS

constexpr double PI = 3.14159265358979323846;

// Angle and radius of a model's tick as the gauge shows it: a back face is seen turned over.
struct Seen {
    double angle;
    double radius;
};

template <class Model>
std::vector<std::pair<std::string, Seen>> seenTicks(Model& model, bool backFace) {
    model.constructView();
    std::vector<std::pair<std::string, Seen>> seen;
    for (const auto* tick : *model.getTicks()) {
        if (tick->label.empty() || tick->position == nullptr) {
            continue;  // the empty places of a gap
        }
        const double x = backFace ? -tick->position->x : tick->position->x;
        const double y = tick->position->y;
        const double angle = std::fmod(std::atan2(y, x) * 180.0 / PI + 360.0, 360.0);
        seen.push_back({tick->label, Seen{angle, std::hypot(x, y)}});
    }
    return seen;
}

double angleDifference(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

TEST(BarometerPlateModelsTest, EveryNeedlePlaceOfBothFacesIsWhereTheDialPrintsItsValue) {
    vpcore::BarometerEngViewModel inHgModel;
    const auto inHg = seenTicks(inHgModel, false);
    ASSERT_EQ(inHg.size(), static_cast<std::size_t>(INHG_PLACES));
    for (const auto& [label, seen] : inHg) {
        SCOPED_TRACE("inHg " + label);
        EXPECT_LT(angleDifference(seen.angle, inHgAngle(std::stod(label))), 0.01);
        EXPECT_NEAR(seen.radius, NEEDLE_RADIUS, 1e-4);
    }

    vpcore::BarometerMetricViewModel mbModel;
    const auto mb = seenTicks(mbModel, true);
    ASSERT_EQ(mb.size(), static_cast<std::size_t>((MB_LAST - MB_FIRST) / MB_STEP + 1));
    for (const auto& [label, seen] : mb) {
        SCOPED_TRACE("mb " + label);
        EXPECT_LT(angleDifference(seen.angle, mbAngle(std::stoi(label))), 0.01);
        EXPECT_NEAR(seen.radius, NEEDLE_RADIUS, 1e-4);
    }
}

#else

TEST(BarometerPlateModelsTest, EveryNeedlePlaceOfBothFacesIsWhereTheDialPrintsItsValue) {
    GTEST_SKIP() << "The barometer models are not part of this build yet.";
}

#endif

}  // namespace
