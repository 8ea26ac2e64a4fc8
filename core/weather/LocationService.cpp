#include "weather/LocationService.h"

#include <stdexcept>
#include <utility>

#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "weather/AlertModel.h"
#include "weather/AlertProviderImpl.h"
#include "weather/CurrentNWSWeatherInfoProviderImpl.h"
#include "weather/CurrentWeatherInfoModel.h"
#include "weather/ForecastModel.h"
#include "weather/ForecastProviderImpl.h"
#include "weather/GlobalPositionService.h"
#include "weather/NWSCurrentWeatherInfoProviderRetryHandler.h"

namespace vpcore {

namespace {

// Alternate observation stations are taken within this many miles.
const float RETRY_MAX_DISTANCE = 20.0f;
// Observations appear around a quarter past the hour; the forecast is refreshed half an hour
// later, alerts all the time.
const int CONDITIONS_MINUTE = 17;
const int FORECAST_MINUTE = 46;
const int SCHEDULE_SECOND = 5;
const unsigned short ALERT_INTERVAL_SECONDS = 120;

Location_t keyFor(const std::string& displayName) {
    Location_t key;
    key.displayName = displayName;
    return key;
}

}  // namespace

const char* const LocationService::SELECTION_ERROR =
    "Unable to set the location. Please choose another location or try again later.";

LocationService& LocationService::Instance() {
    static LocationService service;
    return service;
}

LocationService::LocationService()
    : forecastModel(std::make_shared<ForecastModel>()),
      alertModel(std::make_shared<AlertModel>()),
      currentConditionsModel(std::make_shared<CurrentWeatherInfoModel>()) {
    // Constructed first, the scheduler is destroyed after this service, so the destructor
    // can still stop the tasks that run the models.
    TaskScheduler::instance();
    NotificationService::Instance().registerPropertyIds({PROP_CURRENT_LOCATION});
}

LocationService::~LocationService() {
    TaskScheduler::instance().shutdown();
}

void LocationService::addLocation(const Location_t& location) {
    locations.insert(location);
}

void LocationService::setLocations(const std::vector<Location_t>& newLocations) {
    locations.clear();
    locations.insert(newLocations.begin(), newLocations.end());
}

bool LocationService::deleteLocation(const std::string& displayName) {
    return locations.erase(keyFor(displayName)) > 0;
}

void LocationService::getLocations(std::vector<Location_t>& out) const {
    out.assign(locations.begin(), locations.end());
}

std::unique_ptr<Location_t> LocationService::getLocation(const std::string& displayName) const {
    const auto found = locations.find(keyFor(displayName));
    if (found == locations.end()) {
        return nullptr;
    }
    return std::make_unique<Location_t>(*found);
}

bool LocationService::setCurrentLocation(const std::string& displayName, std::string& error) {
    // Only a location whose providers run counts as selected: after a failed first selection
    // the same name must be tried again, not reported as done.
    if (currentLocation && currentLocation == providedLocation &&
        currentLocation->displayName == displayName) {
        return true;
    }
    const auto found = locations.find(keyFor(displayName));
    if (found == locations.end()) {
        throw std::invalid_argument("Location does not exist");
    }
    const auto candidate = std::make_shared<Location_t>(*found);
    if (updateProviders(candidate)) {
        currentLocation = candidate;
        return true;
    }
    error = SELECTION_ERROR;
    // The previous location stays current while it is listed; otherwise the failed one becomes
    // current, without providers, so that it can be chosen again.
    if (!currentLocation || locations.find(*currentLocation) == locations.end()) {
        currentLocation = candidate;
    }
    return false;
}

bool LocationService::updateProviders(const std::shared_ptr<Location_t>& candidate) {
    TaskScheduler& scheduler = TaskScheduler::instance();

    // Both checks come before the scheduler stops: a failed one leaves the running providers
    // of the previous location untouched.
    auto conditionsProvider =
        std::make_unique<CurrentNWSWeatherInfoProviderImpl>(candidate->stationId);
    if (!conditionsProvider->test()) {
        return false;
    }
    if (!candidate->position) {
        const auto position = GlobalPositionService::lookupPosition(candidate->zipCode);
        if (!position) {
            return false;
        }
        candidate->position = std::make_shared<std::pair<float, float>>(*position);
    }
    conditionsProvider->setRetryHandler(std::make_unique<NWSCurrentWeatherInfoProviderRetryHandler>(
        candidate.get(), RETRY_MAX_DISTANCE));

    scheduler.shutdown();
    currentConditionsModel->setProvider(std::move(conditionsProvider));
    alertModel->setProvider(std::make_unique<AlertProviderImpl>(candidate->alertCode));
    forecastModel->setProvider(std::make_unique<ForecastProviderImpl>(*candidate->position));
    // The providers that read the previous copy are gone with the stopped scheduler's tasks.
    providedLocation = candidate;

    // A listener that throws must not leave the weather unscheduled.
    try {
        const std::string none;
        NotificationService::Instance().notify<std::string>(PROP_CURRENT_LOCATION, &none,
                                                            &candidate->displayName);
    } catch (const std::exception& e) {
        Logger::Instance().log("ERROR",
                               std::string("Announcing the current location failed: ") + e.what());
    }

    scheduler.startScheduler();
    scheduler.scheduleHourly(currentConditionsModel.get(), CONDITIONS_MINUTE, SCHEDULE_SECOND);
    scheduler.scheduleHourly(forecastModel.get(), FORECAST_MINUTE, SCHEDULE_SECOND);
    scheduler.scheduleAtInterval(alertModel.get(), ALERT_INTERVAL_SECONDS, false);
    scheduler.forceRun();
    return true;
}

}  // namespace vpcore
