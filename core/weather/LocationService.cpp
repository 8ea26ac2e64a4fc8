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
#include "weather/DeferredForecastProvider.h"
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
    if (locations.erase(keyFor(displayName)) == 0) {
        return false;
    }
    // A deleted place must not go on being fetched and shown.
    if (currentLocation && currentLocation->displayName == displayName) {
        forgetCurrentLocation();
    }
    return true;
}

void LocationService::forgetCurrentLocation() {
    TaskScheduler::instance().shutdown();
    currentConditionsModel->setProvider(nullptr);
    alertModel->setProvider(nullptr);
    forecastModel->setProvider(nullptr);
    // Nothing reads the provided copy once its providers are gone.
    providedLocation.reset();
    const std::string previous = currentLocation->displayName;
    currentLocation.reset();
    const std::string none;
    const auto report = [](const char* what, const std::exception& e) {
        Logger::Instance().log("ERROR", std::string(what) + e.what());
    };
    // A listener that throws must not leave the rest shown.
    try {
        NotificationService::Instance().notify<std::string>(PROP_CURRENT_LOCATION, &previous,
                                                            &none);
    } catch (const std::exception& e) {
        report("Announcing that no location is current failed: ", e);
    }
    try {
        currentConditionsModel->clear();
        alertModel->assignAlerts({});
        forecastModel->clear();
    } catch (const std::exception& e) {
        report("Clearing the weather of a deleted location failed: ", e);
    }
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

bool LocationService::isProvided(const std::string& displayName) const {
    // Only a location whose providers run counts as selected: after a failed first selection
    // the same name must be tried again, not reported as done.
    return currentLocation && currentLocation == providedLocation &&
           currentLocation->displayName == displayName;
}

std::shared_ptr<Location_t> LocationService::listedCopy(const std::string& displayName) const {
    const auto found = locations.find(keyFor(displayName));
    if (found == locations.end()) {
        throw std::invalid_argument("Location does not exist");
    }
    return std::make_shared<Location_t>(*found);
}

bool LocationService::setCurrentLocation(const std::string& displayName, std::string& error) {
    if (isProvided(displayName)) {
        return true;
    }
    const auto candidate = listedCopy(displayName);
    if (updateProviders(candidate, false)) {
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

bool LocationService::restoreCurrentLocation(const std::string& displayName, std::string& error) {
    if (isProvided(displayName)) {
        return true;
    }
    const auto candidate = listedCopy(displayName);
    currentLocation = candidate;
    if (updateProviders(candidate, true)) {
        return true;
    }
    error = SELECTION_ERROR;
    return false;
}

bool LocationService::updateProviders(const std::shared_ptr<Location_t>& candidate,
                                      bool keepOnFailedCheck) {
    TaskScheduler& scheduler = TaskScheduler::instance();

    // Both checks come before the scheduler stops: a failed one leaves the running providers
    // of the previous location untouched.
    auto conditionsProvider =
        std::make_unique<CurrentNWSWeatherInfoProviderImpl>(candidate->stationId);
    const bool stationAnswered = conditionsProvider->test();
    if (!stationAnswered && !keepOnFailedCheck) {
        return false;
    }
    // A station that did not answer says the network is down or stalling: asking for the
    // position as well would only keep the program waiting.
    if (!candidate->position && stationAnswered) {
        const auto position = GlobalPositionService::lookupPosition(candidate->zipCode);
        if (position) {
            candidate->position = std::make_shared<std::pair<float, float>>(*position);
        } else if (!keepOnFailedCheck) {
            return false;
        }
    }
    conditionsProvider->setRetryHandler(std::make_unique<NWSCurrentWeatherInfoProviderRetryHandler>(
        candidate.get(), RETRY_MAX_DISTANCE));
    std::unique_ptr<IWeatherInfoProvider> forecastProvider;
    if (candidate->position) {
        forecastProvider = std::make_unique<ForecastProviderImpl>(*candidate->position);
    } else {
        forecastProvider = std::make_unique<DeferredForecastProvider>(candidate->zipCode);
    }

    scheduler.shutdown();
    currentConditionsModel->setProvider(std::move(conditionsProvider));
    alertModel->setProvider(std::make_unique<AlertProviderImpl>(candidate->alertCode));
    forecastModel->setProvider(std::move(forecastProvider));
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

    // Scheduled and forced while the scheduler's threads are stopped: a scheduling pass between
    // scheduleHourly and forceRun would find the hourly task overdue (its minute has passed in
    // this hour) and queue it while its forced run is already under way, so it would run twice
    // and the second run, finding the observation unchanged, would turn to an alternate station.
    scheduler.scheduleHourly(currentConditionsModel.get(), CONDITIONS_MINUTE, SCHEDULE_SECOND);
    scheduler.scheduleHourly(forecastModel.get(), FORECAST_MINUTE, SCHEDULE_SECOND);
    scheduler.scheduleAtInterval(alertModel.get(), ALERT_INTERVAL_SECONDS, false);
    scheduler.forceRun();
    scheduler.startScheduler();
    return stationAnswered && candidate->position != nullptr;
}

}  // namespace vpcore
