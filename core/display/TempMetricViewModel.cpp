#include "display/TempMetricViewModel.h"

namespace vpcore {

namespace {
const Vector3D red(1.0f, 0.0f, 0.0f);
const Vector3D blue(0.0f, 0.0f, 1.0f);
}  // namespace

TempMetricViewModel::TempMetricViewModel()
    : AbstractTemperatureViewModel(
          PROP_TEMP_C, {"-50", "-40", "-30", "-20", "-10", "0", "10", "20", "30", "40", "50"},
          {{"40", red},
           {"50", red},
           {"0", blue},
           {"-10", blue},
           {"-20", blue},
           {"-30", blue},
           {"-40", blue},
           {"-50", blue}},
          NumericScale<int>(-50, 50, 1, 10), DRAW_DIRECTION_REVERSED, 3.0f, "C") {}

}  // namespace vpcore
