#include <gtest/gtest.h>

#include <string>

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

}  // namespace
