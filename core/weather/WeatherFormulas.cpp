#include "weather/WeatherFormulas.h"

#include <cmath>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "services/Converter.h"
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

namespace {

struct Range {
    double low;
    double high;
};

Range rangeOf(Reading reading) {
    switch (reading) {
        case Reading::TemperatureF:
            return {-100.0, 150.0};
        case Reading::TemperatureC:
            return {-75.0, 65.0};
        case Reading::PressureIn:
            return {25.0, 35.0};
        case Reading::WindMph:
            return {0.0, 300.0};
        case Reading::RelativeHumidity:
            return {0.0, 100.0};
        case Reading::VisibilityMi:
            return {0.0, 100.0};
    }
    return {0.0, 0.0};
}

std::string numberText(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

bool isPlausible(Reading reading, double value) {
    const Range range = rangeOf(reading);
    return value >= range.low && value <= range.high;
}

std::string plausibleReading(Reading reading, const std::string& element, const std::string& text) {
    if (text.empty()) {
        return text;
    }
    const std::optional<double> value = Converter::toNumber(text);
    if (!value) {
        Logger::Instance().log("WARN",
                               element + " is not a number: \"" + text + "\"; read as absent.");
        return std::string();
    }
    if (!isPlausible(reading, *value)) {
        const Range range = rangeOf(reading);
        Logger::Instance().log("WARN", element + " " + text + " is outside the range " +
                                           numberText(range.low) + " to " + numberText(range.high) +
                                           "; read as absent.");
        return std::string();
    }
    return text;
}

std::string toRoundedString(float value) {
    const std::optional<int> whole = Converter::roundToInt(value);
    if (whole) {
        return std::to_string(*whole);
    }
    // A value no int holds is written as the stream writes it ("inf", "nan", "1e+30").
    std::ostringstream text;
    text << std::round(value);
    return text.str();
}

std::string kphText(const std::string& mph) {
    return mph.empty() ? std::string()
                       : Converter::formatDecimalString(
                             mphToKph(static_cast<float>(Converter::toDouble(mph))), 1);
}

std::string millibarsText(const std::string& inHg) {
    return inHg.empty()
               ? std::string()
               : toRoundedString(inHgToMillibars(static_cast<float>(Converter::toDouble(inHg))));
}

}  // namespace vpcore
