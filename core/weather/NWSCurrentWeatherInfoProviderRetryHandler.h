// Offers the stations nearest to a location's position, nearest first, as alternates for its
// own station: at most four, each within a maximum distance, the nearest (normally the own
// station) skipped. Used by the NWS observations provider on the scheduler's runner thread.
#pragma once

#include <string>
#include <vector>

#include "services/VpCoreExport.h"
#include "weather/CurrentWeatherInfoProviderRetryHandler.h"
#include "weather/Location_t.h"

namespace vpcore {

class NWSCodeService;

class VPCORE_EXPORT NWSCurrentWeatherInfoProviderRetryHandler
    : public CurrentWeatherInfoProviderRetryHandler {
public:
    // maxDistance in miles. codes is the station table searched (the process-wide one unless a
    // test hands in its own); not owned.
    NWSCurrentWeatherInfoProviderRetryHandler(const Location_t* location, float maxDistance);
    NWSCurrentWeatherInfoProviderRetryHandler(const Location_t* location, float maxDistance,
                                              NWSCodeService& codes);
    ~NWSCurrentWeatherInfoProviderRetryHandler() override;

    // Searches the stations on the first call that finds any and keeps them. False, with an
    // ERROR line, when the location has no position yet or the station table cannot be read.
    bool hasMoreRetries() override;
    std::string nextStationId() override;
    // Starts the next pass from the first alternate again; the stations found are kept.
    void reset();

private:
    // How many of the nearest stations are looked at: the own station and four alternates.
    static const int kStationCount = 5;

    float maxDistance;
    int index;  // next entry of stationIds to hand out; 0 is the nearest, never offered
    std::vector<std::string> stationIds;
    NWSCodeService& codes;
};

}  // namespace vpcore
