#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ExceptionText.h"
#include "LogCapture.h"
#include "weather/WeatherFormulas.h"

using namespace vpcore;

TEST(WeatherFormulasTest, UnitConversionsUseSinglePrecisionFactors) {
    // The factors are single-precision constants (1.609344 widens to 1.6093440055847168,
    // 33.8639 to 33.86389923095703) and the product is rounded back to single precision, which
    // is one step above the float nearest to 16.09344.
    EXPECT_EQ(mphToKph(10.0f), static_cast<float>(10.0 * 1.6093440055847168));
    EXPECT_FLOAT_EQ(mphToKph(10.0f), 16.09344f);
    EXPECT_EQ(mphToKph(1.0f), 1.6093440055847168f);
    EXPECT_EQ(mphToKph(0.0f), 0.0f);
    EXPECT_EQ(inHgToMillibars(1.0f), 33.86389923095703f);
    EXPECT_EQ(inHgToMillibars(29.92f), static_cast<float>(double(29.92f) * 33.86389923095703));
    EXPECT_NEAR(inHgToMillibars(29.92f), 1013.2, 0.05);
}

// Values read from the NWS heat index chart (at humidities where the chart needs no
// adjustment of the regression) and the NWS wind chill chart (whole degrees F).
TEST(WeatherFormulasTest, HeatIndexMatchesTheNwsChart) {
    struct Case {
        float tempF;
        float relHumid;
        float chart;
    };
    const std::vector<Case> cases = {
        {90, 60, 100}, {90, 80, 113}, {100, 40, 109}, {86, 90, 105},
        {84, 70, 90},  {80, 40, 80},  {96, 55, 112},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tempF << " F at " << c.relHumid << " %");
        EXPECT_NEAR(heatIndex(c.tempF, c.relHumid), c.chart, 1.0f);
    }
}

TEST(WeatherFormulasTest, WindChillMatchesTheNwsChart) {
    struct Case {
        float tempF;
        float windMph;
        float chart;
    };
    const std::vector<Case> cases = {
        {0, 15, -19}, {0, 5, -11}, {30, 10, 21}, {40, 5, 36}, {-10, 20, -35}, {-20, 60, -62},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tempF << " F at " << c.windMph << " mph");
        EXPECT_NEAR(windChill(c.tempF, c.windMph), c.chart, 0.5f);
    }
}

// Exact results of the formulas as they are evaluated: squares in single precision and the
// sum in double for the heat index, the power 0.16 in single precision for the wind chill.
// Doing every step in double, or every step in float, gives another float for each of them.
TEST(WeatherFormulasTest, FormulasKeepTheirSinglePrecisionSteps) {
    struct Case {
        const char* name;
        float result;
        float expected;
    };
    const std::vector<Case> cases = {
        {"heat index 96.1 F, 54 %", heatIndex(96.1f, 54.0f), 111.097412f},
        {"heat index 84.2 F, 83 %", heatIndex(84.2f, 83.0f), 95.7344284f},
        {"heat index 100.4 F, 38.5 %", heatIndex(100.4f, 38.5f), 108.950294f},
        {"wind chill 23.4 F, 17.3 mph", windChill(23.4f, 17.3f), 9.65695953f},
        {"wind chill -4.3 F, 11.5 mph", windChill(-4.3f, 11.5f), -22.4926434f},
        {"wind chill 12.2 F, 26.5 mph", windChill(12.2f, 26.5f), -8.26112175f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, c.expected);
    }
}

TEST(WeatherFormulasTest, FeelsLikeChoosesTheFormulaByItsBounds) {
    enum Branch { HEAT, CHILL, AIR };
    struct Case {
        const char* name;
        float tempF;
        float windMph;
        float relHumid;
        Branch branch;
    };
    const std::vector<Case> cases = {
        {"hot and humid, both bounds inclusive", 80, 0, 35, HEAT},
        {"hot and humid and windy", 95, 20, 60, HEAT},
        {"hot but dry", 95, 20, 34.9f, AIR},
        {"warm and humid", 79.9f, 0, 90, AIR},
        {"cold, wind exactly 3", 50, 3, 50, AIR},
        {"cold, wind just above 3", 50, 3.1f, 50, CHILL},
        {"just above the wind chill bound", 50.1f, 20, 50, AIR},
        {"bitter cold", -10, 25, 70, CHILL},
        {"mild", 60, 15, 50, AIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::LogCapture log;
        const float result = feelsLikeTemperature(c.tempF, c.windMph, c.relHumid);
        std::ostringstream expectedLine;
        switch (c.branch) {
            case HEAT:
                EXPECT_EQ(result, heatIndex(c.tempF, c.relHumid));
                expectedLine << result
                             << " - feels like temp based on the heat index formula: " << c.tempF
                             << ", " << c.windMph << ", " << c.relHumid;
                break;
            case CHILL:
                EXPECT_EQ(result, windChill(c.tempF, c.windMph));
                expectedLine << result
                             << " - feels like temp based on the wind chill formula: " << c.tempF
                             << ", " << c.windMph << ", " << c.relHumid;
                break;
            case AIR:
                EXPECT_EQ(result, c.tempF);
                expectedLine << c.tempF << " - feels like temp based on air temp";
                break;
        }
        ASSERT_EQ(log.count("feels like temp based on"), 1) << log.text();
        EXPECT_TRUE(log.contains("INFO: " + expectedLine.str() + "\n")) << log.text();
    }
}

TEST(WeatherFormulasTest, FeelsLikeLogLineWritesFloatsWithDefaultFormatting) {
    testsupport::LogCapture log;
    feelsLikeTemperature(90.0f, 5.5f, 60.0f);
    feelsLikeTemperature(62.25f, 5.0f, 40.0f);
    EXPECT_TRUE(log.contains(" - feels like temp based on the heat index formula: 90, 5.5, 60\n"))
        << log.text();
    EXPECT_TRUE(log.contains("INFO: 62.25 - feels like temp based on air temp\n")) << log.text();
}

TEST(WeatherFormulasTest, FormulasRejectReadingsOutsideTheirRange) {
    struct Case {
        const char* name;
        std::function<void()> call;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"heat index below 80 F", [] { heatIndex(79.9f, 50); }, "airTemp must be >= 80"},
        {"heat index below 35 %", [] { heatIndex(85, 34.9f); }, "relHumid must be >= 35"},
        {"heat index, temperature checked first", [] { heatIndex(70, 20); },
         "airTemp must be >= 80"},
        {"heat index of an unreadable temperature", [] { heatIndex(NAN, 50); },
         "airTemp must be >= 80"},
        {"wind chill above 50 F", [] { windChill(50.1f, 10); }, "tempF must be <= 50.0"},
        {"wind chill at 3 mph", [] { windChill(40, 3); }, "windspeed must be > 3.0"},
        {"wind chill, temperature checked first", [] { windChill(60, 0); },
         "tempF must be <= 50.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(c.call), c.message);
    }
}

TEST(WeatherFormulasTest, RoundedStringRoundsHalvesAwayFromZero) {
    struct Case {
        float value;
        std::string text;
    };
    const std::vector<Case> cases = {
        {1012.5f, "1013"}, {-2.5f, "-3"},    {1012.49f, "1012"},          {0.4f, "0"},
        {-0.4f, "0"},      {0.5f, "1"},      {29.92f * 33.8639f, "1013"}, {-1e3f, "-1000"},
        {INFINITY, "inf"}, {3e20f, "3e+20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value);
        EXPECT_EQ(toRoundedString(c.value), c.text);
    }
}
