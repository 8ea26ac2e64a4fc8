#include "weather/WeatherFormulas.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "services/Logger.h"

namespace vpcore {

float mphToKph(float mph) {
    return mph * 1.609344f;
}

float inHgToMillibars(float inHg) {
    return inHg * 33.8639f;
}

float feelsLikeTemperature(float airTempF, float windMph, float relHumid) {
    std::ostringstream line;
    float result = airTempF;
    if (airTempF >= 80.0f && relHumid >= 35.0f) {
        result = heatIndex(airTempF, relHumid);
        line << result << " - feels like temp based on the heat index formula: " << airTempF << ", "
             << windMph << ", " << relHumid;
    } else if (airTempF <= 50.0f && windMph > 3.0f) {
        result = windChill(airTempF, windMph);
        line << result << " - feels like temp based on the wind chill formula: " << airTempF << ", "
             << windMph << ", " << relHumid;
    } else {
        line << airTempF << " - feels like temp based on air temp";
    }
    Logger::Instance().log("INFO", line.str());
    return result;
}

float heatIndex(float airTempF, float relHumid) {
    // Written as negations so that a NaN reading is rejected too.
    if (!(airTempF >= 80.0f)) {
        throw std::invalid_argument("airTemp must be >= 80");
    }
    if (!(relHumid >= 35.0f)) {
        throw std::invalid_argument("relHumid must be >= 35");
    }
    const double t = airTempF;
    const double r = relHumid;
    const float t2 = airTempF * airTempF;
    const float r2 = relHumid * relHumid;
    const double hi = -42.379 + 2.04901523 * t + 10.14333127 * r - 0.22475541 * t * r -
                      0.00683783 * t2 - 0.05481717 * r2 + 0.00122874 * t2 * r +
                      0.00085282 * t * r2 - 0.00000199 * double(t2) * r2;
    return static_cast<float>(hi);
}

float windChill(float tempF, float windMph) {
    if (!(tempF <= 50.0f)) {
        throw std::invalid_argument("tempF must be <= 50.0");
    }
    if (!(windMph > 3.0f)) {
        throw std::invalid_argument("windspeed must be > 3.0");
    }
    const float v16 = std::pow(windMph, 0.16f);
    const double t = tempF;
    const double wc = 35.74 + 0.6215 * t - 35.75 * v16 + 0.4275 * t * v16;
    return static_cast<float>(wc);
}

std::string toRoundedString(float value) {
    std::ostringstream text;
    // Converting a value outside the integer range is undefined; such a value is written as
    // the stream writes it ("inf", "nan", or in exponent form).
    const float rounded = std::round(value);
    if (std::isfinite(rounded) && std::fabs(rounded) < 9.0e18f) {
        text << static_cast<long long>(rounded);
    } else {
        text << rounded;
    }
    return text.str();
}

}  // namespace vpcore
