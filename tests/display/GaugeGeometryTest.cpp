// Tick geometry of the real gauge faces, against numbers computed independently by
// gauge_geometry.py (its output pasted below).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "display/BarometerEngViewModel.h"
#include "display/BarometerMetricViewModel.h"
#include "display/TempEngViewModel.h"
#include "display/TempMetricViewModel.h"
#include "display/WindViewModel.h"
#include "services/NotificationService.h"

using namespace vpcore;

namespace {

struct TickCase {
    const char* face;
    std::size_t index;
    const char* label;
    float x;
    float y;
};

// Output of tests/display/gauge_geometry.py.
const TickCase kTickCases[] = {
    // fahrenheit: 201 ticks
    {"fahrenheit", 0, "", 0.5f, -1.22464685e-16f},
    {"fahrenheit", 19, "120", 0.41437307f, -0.279812366f},
    {"fahrenheit", 39, "100", 0.172233433f, -0.469399244f},
    {"fahrenheit", 59, "80", -0.135061964f, -0.481412768f},
    {"fahrenheit", 71, "68", -0.302050501f, -0.398453891f},
    {"fahrenheit", 79, "60", -0.391263545f, -0.311308295f},
    {"fahrenheit", 99, "40", -0.499450445f, -0.023436131f},
    {"fahrenheit", 119, "20", -0.418695688f, 0.273301899f},
    {"fahrenheit", 139, "0", -0.179548711f, 0.466650039f},
    {"fahrenheit", 159, "-20", 0.127521381f, 0.483464897f},
    {"fahrenheit", 179, "-40", 0.386350244f, 0.317385375f},
    {"fahrenheit", 198, "-59", 0.497803003f, 0.0468207449f},
    {"fahrenheit", 199, "-60", 0.499023139f, 0.0312392693f},
    {"fahrenheit", 200, "", 0.49975574f, 0.0156272687f},
    // celsius: 111 ticks
    {"celsius", 0, "25", 0.5f, -1.22464685e-16f},
    {"celsius", 5, "30", 0.480107337f, -0.139631435f},
    {"celsius", 15, "40", 0.330337375f, -0.37533614f},
    {"celsius", 25, "50", 0.0775182992f, -0.49395436f},
    {"celsius", 36, "-50", -0.225101873f, -0.446462929f},
    {"celsius", 46, "-40", -0.429431647f, -0.256102473f},
    {"celsius", 56, "-30", -0.499799758f, 0.0141494293f},
    {"celsius", 66, "-20", -0.414254814f, 0.279987395f},
    {"celsius", 76, "-10", -0.199482679f, 0.458483011f},
    {"celsius", 86, "0", 0.0775182992f, 0.49395436f},
    {"celsius", 96, "10", 0.330337375f, 0.37533614f},
    {"celsius", 106, "20", 0.480107337f, 0.139631435f},
    {"celsius", 110, "24", 0.499199182f, 0.0282875244f},
    // millibars: 71 ticks
    {"millibars", 0, "966", 0.5f, -1.22464685e-16f},
    {"millibars", 2, "970", 0.49218896f, -0.0880342573f},
    {"millibars", 7, "980", 0.407093436f, -0.290301442f},
    {"millibars", 12, "990", 0.243586421f, -0.43665278f},
    {"millibars", 17, "1000", 0.03316148f, -0.498899102f},
    {"millibars", 22, "1010", -0.183650792f, -0.465050936f},
    {"millibars", 24, "1014", -0.262662619f, -0.425450772f},
    {"millibars", 27, "1020", -0.365089536f, -0.341627926f},
    {"millibars", 32, "1030", -0.476207256f, -0.152402878f},
    {"millibars", 37, "1040", -0.495601267f, 0.0661769286f},
    {"millibars", 42, "1050", -0.419535995f, 0.272010207f},
    {"millibars", 47, "1060", -0.262662619f, 0.425450772f},
    {"millibars", 58, "940", 0.204041809f, 0.456472278f},
    {"millibars", 63, "950", 0.379843533f, 0.32514441f},
    {"millibars", 68, "960", 0.482482463f, 0.13118948f},
    {"millibars", 70, "964", 0.498043418f, 0.0441900529f},
    // inches: 40 ticks
    {"inches", 0, "30.4", 0.5f, -1.22464685e-16f},
    {"inches", 1, "30.3", 0.493844181f, -0.0782172307f},
    {"inches", 2, "30.2", 0.47552827f, -0.154508501f},
    {"inches", 3, "30.1", 0.445503265f, -0.226995245f},
    {"inches", 4, "30", 0.404508501f, -0.293892622f},
    {"inches", 5, "29.9", 0.353553385f, -0.353553385f},
    {"inches", 6, "29.8", 0.293892622f, -0.404508501f},
    {"inches", 7, "29.7", 0.226995245f, -0.445503265f},
    {"inches", 8, "29.6", 0.154508501f, -0.47552827f},
    {"inches", 9, "29.5", 0.0782172307f, -0.493844181f},
    {"inches", 10, "29.4", -9.18485073e-17f, -0.5f},
    {"inches", 11, "29.3", -0.0782172307f, -0.493844181f},
    {"inches", 12, "29.2", -0.154508501f, -0.47552827f},
    {"inches", 13, "29.1", -0.226995245f, -0.445503265f},
    {"inches", 14, "29", -0.293892622f, -0.404508501f},
    {"inches", 15, "28.9", -0.353553385f, -0.353553385f},
    {"inches", 16, "28.8", -0.404508501f, -0.293892622f},
    {"inches", 17, "28.7", -0.445503265f, -0.226995245f},
    {"inches", 18, "28.6", -0.47552827f, -0.154508501f},
    {"inches", 19, "28.5", -0.493844181f, -0.0782172307f},
    {"inches", 20, "28.4", -0.5f, 6.12323426e-17f},
    {"inches", 21, "28.3", -0.493844181f, 0.0782172307f},
    {"inches", 22, "28.2", -0.47552827f, 0.154508501f},
    {"inches", 23, "28.1", -0.445503265f, 0.226995245f},
    {"inches", 24, "28", -0.404508501f, 0.293892622f},
    {"inches", 25, "27.9", -0.353553385f, 0.353553385f},
    {"inches", 26, "27.8", -0.293892622f, 0.404508501f},
    {"inches", 27, "27.7", -0.226995245f, 0.445503265f},
    {"inches", 28, "27.6", -0.154508501f, 0.47552827f},
    {"inches", 29, "27.5", -0.0782172307f, 0.493844181f},
    {"inches", 30, "31.4", 3.06161713e-17f, 0.5f},
    {"inches", 31, "31.3", 0.0782172307f, 0.493844181f},
    {"inches", 32, "31.2", 0.154508501f, 0.47552827f},
    {"inches", 33, "31.1", 0.226995245f, 0.445503265f},
    {"inches", 34, "31", 0.293892622f, 0.404508501f},
    {"inches", 35, "30.9", 0.353553385f, 0.353553385f},
    {"inches", 36, "30.8", 0.404508501f, 0.293892622f},
    {"inches", 37, "30.7", 0.445503265f, 0.226995245f},
    {"inches", 38, "30.6", 0.47552827f, 0.154508501f},
    {"inches", 39, "30.5", 0.493844181f, 0.0782172307f},
    // windMph: 8 ticks
    {"windMph", 0, "NE", 0.5f, -1.22464685e-16f},
    {"windMph", 1, "N", 0.353553385f, -0.353553385f},
    {"windMph", 2, "NW", -9.18485073e-17f, -0.5f},
    {"windMph", 3, "W", -0.353553385f, -0.353553385f},
    {"windMph", 4, "SW", -0.5f, 6.12323426e-17f},
    {"windMph", 5, "S", -0.353553385f, 0.353553385f},
    {"windMph", 6, "SE", 3.06161713e-17f, 0.5f},
    {"windMph", 7, "E", 0.353553385f, 0.353553385f},
    // windKmh: 8 ticks
    {"windKmh", 0, "NW", 0.5f, -1.22464685e-16f},
    {"windKmh", 1, "N", 0.353553385f, -0.353553385f},
    {"windKmh", 2, "NE", -9.18485073e-17f, -0.5f},
    {"windKmh", 3, "E", -0.353553385f, -0.353553385f},
    {"windKmh", 4, "SE", -0.5f, 6.12323426e-17f},
    {"windKmh", 5, "S", -0.353553385f, 0.353553385f},
    {"windKmh", 6, "SW", 3.06161713e-17f, 0.5f},
    {"windKmh", 7, "W", 0.353553385f, 0.353553385f},
};

// One face of each kind with its view built, and a way to send it a value by label.
struct Face {
    std::unique_ptr<IGaugeViewModel> model;
    std::size_t tickCount;
    std::size_t visibleCount;
    void (*moveTo)(IGaugeViewModel*, const std::string&);
};

void moveFloat(IGaugeViewModel* model, const std::string& label) {
    static_cast<AbstractGaugeViewModelFloat*>(model)->setValue(
        static_cast<float>(std::atof(label.c_str())));
}

void moveWind(IGaugeViewModel* model, const std::string& label) {
    static_cast<WindViewModel*>(model)->setValue(label);
}

Face makeFace(const std::string& name) {
    Face face;
    if (name == "fahrenheit") {
        face = {std::make_unique<TempEngViewModel>(), 201, 10, moveFloat};
    } else if (name == "celsius") {
        face = {std::make_unique<TempMetricViewModel>(), 111, 11, moveFloat};
    } else if (name == "millibars") {
        face = {std::make_unique<BarometerMetricViewModel>(), 71, 0, moveFloat};
    } else if (name == "inches") {
        face = {std::make_unique<BarometerEngViewModel>(), 40, 0, moveFloat};
    } else if (name == "windMph") {
        face = {std::make_unique<WindViewModel>(WindViewModel::UNITS_MPH), 8, 8, moveWind};
    } else {
        face = {std::make_unique<WindViewModel>(WindViewModel::UNITS_KMH), 8, 8, moveWind};
    }
    face.model->constructView();
    return face;
}

class GaugeGeometryTest : public ::testing::Test {
protected:
    void SetUp() override { NotificationService::Instance().reset(); }
    void TearDown() override { NotificationService::Instance().reset(); }
};

TEST_F(GaugeGeometryTest, RealFacesPlaceEveryTickAndMoveTheNeedleToItsLabel) {
    std::map<std::string, Face> faces;
    for (const TickCase& c : kTickCases) {
        SCOPED_TRACE(std::string(c.face) + " tick " + std::to_string(c.index) + " '" + c.label +
                     "'");
        auto found = faces.find(c.face);
        if (found == faces.end()) {
            found = faces.emplace(c.face, makeFace(c.face)).first;
        }
        Face& face = found->second;
        const std::vector<TickDisplay*>& ticks = *face.model->getTicks();
        ASSERT_EQ(ticks.size(), face.tickCount);
        ASSERT_LT(c.index, ticks.size());
        const TickDisplay* tick = ticks[c.index];
        EXPECT_EQ(tick->label, c.label);
        ASSERT_NE(tick->position, nullptr);
        EXPECT_FLOAT_EQ(tick->position->x, c.x);
        EXPECT_FLOAT_EQ(tick->position->y, c.y);
        EXPECT_EQ(tick->position->z, 0.0f);
        if (*c.label != '\0') {
            face.moveTo(face.model.get(), c.label);
            EXPECT_EQ(face.model->getNeedleEndpoint(), *tick->position);
        }
    }
    EXPECT_EQ(faces.size(), 6u);
}

TEST_F(GaugeGeometryTest, OnlyTheLabelledTicksOfTheNumericFacesAreDrawn) {
    for (const char* name : {"fahrenheit", "celsius", "millibars", "inches", "windMph"}) {
        SCOPED_TRACE(name);
        Face face = makeFace(name);
        std::size_t visible = 0;
        for (const TickDisplay* tick : *face.model->getTicks()) {
            EXPECT_NE(dynamic_cast<const MajorTickDisplay*>(tick), nullptr);
            if (tick->visible) {
                ++visible;
                EXPECT_FALSE(tick->label.empty());
            }
        }
        EXPECT_EQ(visible, face.visibleCount);
    }
}

TEST_F(GaugeGeometryTest, TemperatureLabelsCarryTheirColours) {
    const Vector3D red(1, 0, 0);
    const Vector3D blue(0, 0, 1);
    struct ColourCase {
        const char* face;
        std::map<std::string, Vector3D> colours;  // labels not listed have none
    };
    const ColourCase cases[] = {
        {"fahrenheit",
         {{"100", red},
          {"120", red},
          {"-60", blue},
          {"-40", blue},
          {"-20", blue},
          {"0", blue},
          {"20", blue}}},
        {"celsius",
         {{"40", red},
          {"50", red},
          {"0", blue},
          {"-10", blue},
          {"-20", blue},
          {"-30", blue},
          {"-40", blue},
          {"-50", blue}}},
    };
    for (const ColourCase& c : cases) {
        Face face = makeFace(c.face);
        for (const TickDisplay* tick : *face.model->getTicks()) {
            SCOPED_TRACE(std::string(c.face) + " '" + tick->label + "'");
            const auto colour = c.colours.find(tick->label);
            if (colour == c.colours.end()) {
                EXPECT_EQ(tick->colour, nullptr);
            } else {
                ASSERT_NE(tick->colour, nullptr);
                EXPECT_EQ(*tick->colour, colour->second);
            }
        }
    }
}

}  // namespace
