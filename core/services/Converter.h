// Unit and text conversions shared by the providers and the gauge view models. Stateless
// apart from the wind-direction table, built once; callable from any thread.
#pragma once

#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT Converter {
public:
    // Direction word of a feed ("North", "NNE", "Variable", ...) to the compass abbreviation
    // the wind gauge shows ("N", "NE", "Var", ...); an unknown word logs an ERROR and gives "".
    static std::string windDirectionToAbbrev(const std::string& direction);

    // Fixed-point text with exactly `decimals` digits after the point: (29.9213, 2) -> "29.92".
    static std::string formatDecimalString(float value, int decimals);

    // (f - 32) * 0.5555555 with the factor in single precision, as published Celsius values are.
    static float fahrenheitToCelsius(float f);

    // atof in the "C" locale, whatever the process locale: the leading number of the text,
    // 0 when it starts with none ("NA", ""). Feeds always write a decimal point.
    static double toDouble(const std::string& text);
};

}  // namespace vpcore
