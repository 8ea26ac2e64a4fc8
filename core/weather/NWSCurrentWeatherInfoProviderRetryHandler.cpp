#include "weather/NWSCurrentWeatherInfoProviderRetryHandler.h"

#include <exception>

#include "services/Logger.h"
#include "weather/NWSCodeService.h"

namespace vpcore {

NWSCurrentWeatherInfoProviderRetryHandler::NWSCurrentWeatherInfoProviderRetryHandler(
    const Location_t* location, float maxDistance)
    : NWSCurrentWeatherInfoProviderRetryHandler(location, maxDistance, NWSCodeService::Instance()) {
}

NWSCurrentWeatherInfoProviderRetryHandler::NWSCurrentWeatherInfoProviderRetryHandler(
    const Location_t* location, float maxDistance, NWSCodeService& codes)
    : CurrentWeatherInfoProviderRetryHandler(location),
      maxDistance(maxDistance),
      index(1),
      codes(codes) {}

NWSCurrentWeatherInfoProviderRetryHandler::~NWSCurrentWeatherInfoProviderRetryHandler() = default;

bool NWSCurrentWeatherInfoProviderRetryHandler::hasMoreRetries() {
    if (!stationIds.empty()) {
        return index < static_cast<int>(stationIds.size());
    }
    if (location == nullptr || !location->position) {
        Logger::Instance().log("ERROR", "No alternate stations: the location has no position.");
        return false;
    }

    std::vector<NWSCodeService::Station_t*> stations;
    std::vector<float> distances;
    try {
        codes.getClosestStations(*location->position, kStationCount, stations, distances);
    } catch (const std::exception& e) {
        Logger::Instance().log("ERROR", std::string("No alternate stations: ") + e.what());
        return false;
    }
    for (std::size_t i = 0; i < stations.size(); ++i) {
        if (distances[i] > maxDistance) {
            break;
        }
        stationIds.push_back(stations[i]->id);
    }
    return index < static_cast<int>(stationIds.size());
}

std::string NWSCurrentWeatherInfoProviderRetryHandler::nextStationId() {
    const std::string id = stationIds.at(index);
    ++index;
    return id;
}

void NWSCurrentWeatherInfoProviderRetryHandler::reset() {
    index = 1;
}

}  // namespace vpcore
