#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "LogCapture.h"
#include "NWSCodeServiceTestAccess.h"
#include "TempDir.h"
#include "weather/Location_t.h"
#include "weather/NWSCurrentWeatherInfoProviderRetryHandler.h"

using testsupport::LogCapture;
using vpcore::Location_t;
using vpcore::NWSCodeServiceTestAccess;
using vpcore::NWSCurrentWeatherInfoProviderRetryHandler;

namespace {

const std::string kCodes = std::string(OMBRIX_FIXTURE_DIR) + "/obs/codes";

// Every station the handler offers in one pass.
std::vector<std::string> pass(NWSCurrentWeatherInfoProviderRetryHandler& handler) {
    std::vector<std::string> offered;
    while (handler.hasMoreRetries() && offered.size() < 10) {
        offered.push_back(handler.nextRetry());
    }
    return offered;
}

Location_t locationAt(float latitude, float longitude) {
    Location_t location;
    location.stationId = "KOWN";
    location.position = std::make_shared<std::pair<float, float>>(latitude, longitude);
    return location;
}

}  // namespace

TEST(NWSCurrentWeatherInfoProviderRetryHandlerTest, OffersTheNearestStationsButTheFirst) {
    // The fixture stations lie about 3.45 miles apart north of (35, -97): KOWN on it, then
    // KAAA, KBBB, KCCC, KDDD, KEEE (17.3 miles) and KFFF (27.6 miles).
    struct Case {
        const char* name;
        std::pair<float, float> position;
        float maxDistance;
        std::vector<std::string> offered;
    };
    const std::vector<Case> cases = {
        {"five nearest, the own station skipped",
         {35.0f, -97.0f},
         20.0f,
         {"KAAA", "KBBB", "KCCC", "KDDD"}},
        {"the search stops at the first station too far away",
         {35.0f, -97.0f},
         8.0f,
         {"KAAA", "KBBB"}},
        {"only the own station near", {40.0f, -100.0f}, 20.0f, {}},
        {"the nearest is skipped even when it is not the own station",
         {35.26f, -97.0f},
         20.0f,
         {"KDDD", "KCCC", "KFFF", "KBBB"}},
    };
    auto codes = NWSCodeServiceTestAccess::create(kCodes);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Location_t location = locationAt(c.position.first, c.position.second);
        NWSCurrentWeatherInfoProviderRetryHandler handler(&location, c.maxDistance, *codes);

        EXPECT_EQ(pass(handler), c.offered);
        EXPECT_FALSE(handler.hasMoreRetries());

        // A reset starts the next pass from the first alternate again.
        handler.reset();
        EXPECT_EQ(pass(handler), c.offered);
    }
}

TEST(NWSCurrentWeatherInfoProviderRetryHandlerTest, NoPositionOrNoStationTableGivesNoRetries) {
    testsupport::TempDir empty;
    auto missingTable = NWSCodeServiceTestAccess::create(empty.path());
    auto codes = NWSCodeServiceTestAccess::create(kCodes);
    Location_t noPosition = locationAt(0, 0);
    noPosition.position.reset();
    const Location_t located = locationAt(35.0f, -97.0f);
    struct Case {
        const char* name;
        const Location_t* location;
        vpcore::NWSCodeService& codes;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"location without position", &noPosition, *codes,
         "ERROR: No alternate stations: the location has no position.\n"},
        {"station file missing", &located, *missingTable,
         "ERROR: No alternate stations: Could not open " + empty.path() +
             "/NWS_Current_Conditions_Codes.xml for reading.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NWSCurrentWeatherInfoProviderRetryHandler handler(c.location, 20.0f, c.codes);
        LogCapture log;

        EXPECT_FALSE(handler.hasMoreRetries());

        EXPECT_TRUE(log.contains(c.error)) << log.text();
    }
    // Once the position is known, the same handler finds the stations.
    noPosition.position = std::make_shared<std::pair<float, float>>(35.0f, -97.0f);
    NWSCurrentWeatherInfoProviderRetryHandler handler(&noPosition, 20.0f, *codes);
    EXPECT_FALSE(pass(handler).empty());
}
