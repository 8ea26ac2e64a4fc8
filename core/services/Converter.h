// Unit and text conversions shared by the providers and the gauge view models. Stateless
// apart from the wind-direction table, built once; callable from any thread.
#pragma once

#include <optional>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT Converter {
public:
    // What the read-outs show for a reading the station did not give (or gave absurdly).
    static constexpr const char* NO_READING = "NA";

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

    // The whole text (blanks around it aside) as a finite number in the "C" locale; none for
    // "", "NA", "12 mph", "nan", "inf" or a number beyond a double ("1e309").
    static std::optional<double> toNumber(const std::string& text);

    // The leading number of the text as toDouble reads it ("61.0 F" -> 61); none when the
    // text starts with none ("NA", "") or the number is not finite.
    static std::optional<double> leadingNumber(const std::string& text);

    // The nearest whole number, halves away from zero (2.5 -> 3, -2.5 -> -3); none for NaN,
    // infinity and values beyond int, whose conversion would be undefined. The one way a
    // reading becomes an int.
    static std::optional<int> roundToInt(double value);
};

}  // namespace vpcore
