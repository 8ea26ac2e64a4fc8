#include <gtest/gtest.h>

#include "LogCapture.h"
#include "services/Converter.h"

using vpcore::Converter;

namespace {

TEST(ConverterTest, WindDirectionTableHoldsAllTwentySevenWords) {
    const std::pair<const char*, const char*> table[] = {
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
    testsupport::LogCapture log;
    for (const auto& entry : table) {
        SCOPED_TRACE(std::string("direction '") + entry.first + "'");
        EXPECT_EQ(Converter::windDirectionToAbbrev(entry.first), entry.second);
    }
    EXPECT_FALSE(log.contains("ERROR"));
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

}  // namespace
