// Unit conversions and the feels-like temperature (NWS heat index, NWS wind chill) that the
// current-conditions providers derive from a feed. Single precision throughout; callable from
// any thread (the providers call them on the scheduler's runner thread).
#pragma once

#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

// value x 1.609344; also turns miles into kilometres.
VPCORE_EXPORT float mphToKph(float mph);
// value x 33.8639.
VPCORE_EXPORT float inHgToMillibars(float inHg);

// The heat index when airTempF >= 80 and relHumid >= 35, else the wind chill when
// airTempF <= 50 and windMph > 3, else the air temperature. Logs the branch taken (INFO).
VPCORE_EXPORT float feelsLikeTemperature(float airTempF, float windMph, float relHumid);

// Rothfusz regression without adjustments. Throws std::invalid_argument unless
// airTempF >= 80 and relHumid >= 35.
VPCORE_EXPORT float heatIndex(float airTempF, float relHumid);

// Throws std::invalid_argument unless tempF <= 50 and windMph > 3.
VPCORE_EXPORT float windChill(float tempF, float windMph);

// The nearest whole number, halves away from zero, without a decimal point: 1012.5 -> "1013".
VPCORE_EXPORT std::string toRoundedString(float value);

}  // namespace vpcore
