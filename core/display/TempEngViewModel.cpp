#include "display/TempEngViewModel.h"

namespace vpcore {

namespace {
const Vector3D red(1.0f, 0.0f, 0.0f);
const Vector3D blue(0.0f, 0.0f, 1.0f);
}  // namespace

TempEngViewModel::TempEngViewModel()
    : AbstractTemperatureViewModel(
          PROP_TEMP_F, {"-60", "-40", "-20", "0", "20", "40", "60", "80", "100", "120"},
          {{"100", red},
           {"120", red},
           {"-60", blue},
           {"-40", blue},
           {"-20", blue},
           {"0", blue},
           {"20", blue}},
          NumericScale<int>(-60, 120, 1, 20), DRAW_DIRECTION_NORMAL, 1.0f, "F") {}

}  // namespace vpcore
