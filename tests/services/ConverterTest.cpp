#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "LogCapture.h"
#include "services/Converter.h"

using vpcore::Converter;

namespace {

TEST(ConverterTest, SixteenCompassPointsCollapseToTheEightTheGaugeShows) {
    // A three-letter point goes to the two-letter point it ends with (NNE and ENE to NE).
    const char* const points[] = {"n", "nne", "ne", "ene", "e", "ese", "se", "sse",
                                  "s", "ssw", "sw", "wsw", "w", "wnw", "nw", "nnw"};
    testsupport::LogCapture log;
    for (const std::string point : points) {
        SCOPED_TRACE(point);
        const std::string eightPoint = point.size() == 3 ? point.substr(1) : point;
        std::string expected = eightPoint;
        for (char& c : expected) {
            c = static_cast<char>(c - 'a' + 'A');
        }
        EXPECT_EQ(Converter::windDirectionToAbbrev(point), expected);
    }
    EXPECT_FALSE(log.contains("ERROR")) << log.text();
}

TEST(ConverterTest, WordsAndCalmOrVariableWindHaveTheirOwnAbbreviations) {
    const std::pair<const char*, const char*> cases[] = {
        {"north", "N"}, {"northeast", "NE"}, {"east", "E"},    {"southeast", "SE"},
        {"south", "S"}, {"southwest", "SW"}, {"west", "W"},    {"northwest", "NW"},
        {"var", "Var"}, {"variable", "Var"}, {"calm", "Calm"}, {"", ""},
    };
    testsupport::LogCapture log;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("direction '") + c.first + "'");
        EXPECT_EQ(Converter::windDirectionToAbbrev(c.first), c.second);
    }
    // An empty direction (no wind reported) is known, not an error.
    EXPECT_FALSE(log.contains("ERROR")) << log.text();
}

TEST(ConverterTest, WindDirectionIgnoresCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"North", "N"}, {"NNE", "NE"}, {"Variable", "Var"}, {"CALM", "Calm"}, {"SouthWest", "SW"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("direction '") + c.first + "'");
        EXPECT_EQ(Converter::windDirectionToAbbrev(c.first), c.second);
    }
}

TEST(ConverterTest, UnknownWindDirectionLogsTheLowerCasedWordAndGivesEmptyText) {
    const std::pair<const char*, const char*> cases[] = {
        {"northnortheast", "northnortheast"},
        {"NorthNorthEast", "northnortheast"},
        {" N", " n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("direction '") + c.first + "'");
        testsupport::LogCapture log;
        EXPECT_EQ(Converter::windDirectionToAbbrev(c.first), "");
        EXPECT_EQ(log.count(std::string("Unknown wind dir mapping for ") + c.second), 1);
        EXPECT_TRUE(log.contains("ERROR"));
    }
}

TEST(ConverterTest, FormatDecimalStringWritesExactlyTheGivenDecimals) {
    struct Case {
        float value;
        int decimals;
        const char* expected;
    };
    const Case cases[] = {
        {3.0f, 0, "3"},         {3.0f, 1, "3.0"},
        {29.9213f, 2, "29.92"}, {72.96f, 0, "73"},
        {-12.345f, 1, "-12.3"}, {0.0f, 2, "0.00"},
        {1013.7f, 1, "1013.7"}, {1234567.0f, 2, "1234567.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " with " + std::to_string(c.decimals));
        EXPECT_EQ(Converter::formatDecimalString(c.value, c.decimals), c.expected);
    }
}

TEST(ConverterTest, FahrenheitToCelsiusUsesTheSinglePrecisionFactor) {
    const std::pair<float, float> cases[] = {
        {212.0f, 99.9999924f}, {32.0f, 0.0f},        {-40.0f, -39.9999962f},
        {98.6f, 36.9999962f},  {0.0f, -17.7777767f}, {72.5f, 22.4999981f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " F");
        EXPECT_EQ(Converter::fahrenheitToCelsius(c.first), c.second);
    }
    EXPECT_NE(Converter::fahrenheitToCelsius(212.0f), 100.0f);
    EXPECT_EQ(Converter::formatDecimalString(Converter::fahrenheitToCelsius(212.0f), 1), "100.0");
}

TEST(ConverterTest, ToDoubleReadsTheLeadingNumberWithADecimalPoint) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"29.92", 29.92}, {"-12.5", -12.5}, {" 1013.7", 1013.7}, {"61.0 F", 61.0}, {"1e3", 1000.0},
        {"NA", 0.0},      {"", 0.0},        {"29,92", 29.0},     {".5", 0.5},      {"+7", 7.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.text + "'");
        EXPECT_DOUBLE_EQ(Converter::toDouble(c.text), c.value);
    }
}

TEST(ConverterTest, ToNumberTakesOnlyAWholeFiniteNumber) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"29.92", 29.92},         {" -12.5 ", -12.5},
        {"1e3", 1000.0},          {"0", 0.0},
        {"", std::nullopt},       {"NA", std::nullopt},
        {"61.0 F", std::nullopt}, {"nan", std::nullopt},
        {"NaN", std::nullopt},    {"inf", std::nullopt},
        {"-inf", std::nullopt},   {"1e309", std::nullopt},
        {"29,92", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.first + "'");
        EXPECT_EQ(Converter::toNumber(c.first), c.second);
    }
}

TEST(ConverterTest, LeadingNumberIsToDoubleThatKnowsWhenThereIsNone) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"29.92", 29.92},        {" 61.0 F", 61.0},    {"0", 0.0},
        {"", std::nullopt},      {"NA", std::nullopt}, {"nan", std::nullopt},
        {"1e309", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.first + "'");
        EXPECT_EQ(Converter::leadingNumber(c.first), c.second);
    }
}

TEST(ConverterTest, RoundToIntTakesHalvesAwayFromZeroAndRefusesWhatNoIntHolds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, std::optional<int>> cases[] = {
        {72.5, 73},
        {72.49, 72},
        {-3.5, -4},
        {-0.4, 0},
        {0.0, 0},
        {0.5, 1},
        {-0.5, -1},
        {-59.6, -60},
        {119.4, 119},
        {0.49999997f, 0},
        {2147483647.0, INT_MAX},
        {2147483647.4, INT_MAX},
        {-2147483648.0, INT_MIN},
        // Beyond int, the conversion would be undefined: none.
        {2147483647.5, std::nullopt},
        {-2147483648.5, std::nullopt},
        {1e10, std::nullopt},
        {1e30, std::nullopt},
        {-1e39, std::nullopt},
        {static_cast<double>(static_cast<float>(-1e39)), std::nullopt},  // -inf as a float
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(Converter::roundToInt(c.first), c.second);
    }
}

}  // namespace
