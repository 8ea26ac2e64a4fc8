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

// The quantities a station reports, each with the range a real reading can lie in (a little
// beyond the records): temperature and dew point -100 to 150 F / -75 to 65 C, pressure 25
// to 35 inHg, wind 0 to 300 mph, relative humidity 0 to 100 %, visibility 0 to 100 miles.
enum class Reading {
    TemperatureF,
    TemperatureC,
    PressureIn,
    WindMph,
    RelativeHumidity,
    VisibilityMi
};

VPCORE_EXPORT bool isPlausible(Reading reading, double value);

// The text of a reading as the feed wrote it when it is a number in the reading's range;
// otherwise "" (no reading) with one WARN naming the element: "" stays "" silently, any other
// text that is not a finite number ("NA", "nan", "1e39") or a number out of range is told.
VPCORE_EXPORT std::string plausibleReading(Reading reading, const std::string& element,
                                           const std::string& text);

// The nearest whole number, halves away from zero, without a decimal point: 1012.5 -> "1013".
VPCORE_EXPORT std::string toRoundedString(float value);

// The texts derived from a checked reading's text; "" (no reading) stays "": nothing is
// computed from a missing value. Kilometres (per hour) with one decimal from miles (per
// hour), whole millibars from inHg.
VPCORE_EXPORT std::string kphText(const std::string& mph);
VPCORE_EXPORT std::string millibarsText(const std::string& inHg);

}  // namespace vpcore
