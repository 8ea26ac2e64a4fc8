#include "services/Converter.h"

#include <locale.h>
#include <stdlib.h>

#include <climits>
#include <cmath>
#include <map>
#include <sstream>

#include "services/Logger.h"
#include "services/StringUtils.h"

namespace vpcore {

namespace {

// strtod in the "C" locale, whatever the process locale: QCoreApplication adopts the user's
// locale for the C library, where a decimal comma would turn "29.92" into 29.
double strtodC(const char* text, char** end) {
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return strtod_l(text, end, cLocale);
}

// Built once, thread-safely, on first use; the first call usually comes from the runner thread.
const std::map<std::string, std::string>& windDirections() {
    static const std::map<std::string, std::string> table = {
        {"", ""},
        {"north", "N"},
        {"northwest", "NW"},
        {"west", "W"},
        {"southwest", "SW"},
        {"south", "S"},
        {"southeast", "SE"},
        {"east", "E"},
        {"northeast", "NE"},
        {"var", "Var"},
        {"n", "N"},
        {"nne", "NE"},
        {"ne", "NE"},
        {"ene", "NE"},
        {"e", "E"},
        {"ese", "SE"},
        {"se", "SE"},
        {"sse", "SE"},
        {"variable", "Var"},
        {"s", "S"},
        {"ssw", "SW"},
        {"sw", "SW"},
        {"wsw", "SW"},
        {"w", "W"},
        {"wnw", "NW"},
        {"nw", "NW"},
        {"nnw", "NW"},
        {"calm", "Calm"},
    };
    return table;
}

}  // namespace

std::string Converter::windDirectionToAbbrev(const std::string& direction) {
    const std::string key = StringUtils::toLower(direction);
    const auto& table = windDirections();
    const auto found = table.find(key);
    if (found == table.end()) {
        Logger::Instance().log("ERROR", "Unknown wind dir mapping for " + key);
        return std::string();
    }
    return found->second;
}

std::string Converter::formatDecimalString(float value, int decimals) {
    std::ostringstream out;
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.precision(decimals);
    out << value;
    return out.str();
}

float Converter::fahrenheitToCelsius(float f) {
    // The factor is 0.5555555 rounded to single precision, not 5/9; published Celsius values
    // (212 F -> 99.99999 C) follow it.
    const double factor = static_cast<double>(0.5555555f);
    return static_cast<float>((static_cast<double>(f) - 32.0) * factor);
}

double Converter::toDouble(const std::string& text) {
    return strtodC(text.c_str(), nullptr);
}

std::optional<double> Converter::toNumber(const std::string& text) {
    const std::string trimmed = StringUtils::trim(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = strtodC(trimmed.c_str(), &end);
    if (end != trimmed.c_str() + trimmed.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> Converter::leadingNumber(const std::string& text) {
    char* end = nullptr;
    const double value = strtodC(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> Converter::roundToInt(double value) {
    const double rounded = std::round(value);
    // Both bounds are exact in a double; NaN fails every comparison.
    if (!(rounded >= static_cast<double>(INT_MIN) && rounded <= static_cast<double>(INT_MAX))) {
        return std::nullopt;
    }
    return static_cast<int>(rounded);
}

}  // namespace vpcore
