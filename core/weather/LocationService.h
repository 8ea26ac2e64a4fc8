// The hub of the weather data: the saved locations, the current one, and the three shared
// weather models. Choosing a current location gives the models new providers for it and
// restarts the task scheduler with their schedules. Called on the GUI thread only.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "services/VpCoreExport.h"
#include "weather/Location_t.h"

namespace vpcore {

class AlertModel;
class CurrentWeatherInfoModel;
class ForecastModel;

class VPCORE_EXPORT LocationService {
public:
    // The error text of a selection whose station or position could not be had.
    static const char* const SELECTION_ERROR;

    // Created on first use with the three models; registers PROP_CURRENT_LOCATION.
    static LocationService& Instance();

    LocationService(const LocationService&) = delete;
    LocationService& operator=(const LocationService&) = delete;

    // A location whose display name is listed already is dropped; the listed one stays.
    void addLocation(const Location_t& location);
    // Replaces the list; of equal display names the first wins. The current location stays.
    void setLocations(const std::vector<Location_t>& newLocations);
    // True when a location of that name was removed. Removing the current location ends its
    // updates: the scheduler stops, the models lose their providers and are emptied, and an
    // empty name is announced (PROP_CURRENT_LOCATION); no location is current until the next
    // selection.
    bool deleteLocation(const std::string& displayName);
    // Replaces out's content with every location, in display name order.
    void getLocations(std::vector<Location_t>& out) const;
    // A copy, or null when no location has that name.
    std::unique_ptr<Location_t> getLocation(const std::string& displayName) const;
    // Null before the first selection.
    const Location_t* getCurrentLocation() const { return currentLocation.get(); }

    // Makes the listed location of that name current: its station is tested and its position
    // looked up first, and only then is the scheduler stopped, the providers replaced, the
    // location announced (PROP_CURRENT_LOCATION) and every model run at once and scheduled
    // (current conditions at minute 17, the forecast at minute 46, alerts every 120 s). On a
    // failed check it returns false with SELECTION_ERROR in error, and the previous location
    // and its providers stay as they were. Selecting the current location again does nothing.
    // Throws std::invalid_argument("Location does not exist") for a name not listed.
    bool setCurrentLocation(const std::string& displayName, std::string& error);

    // Makes the saved current location current again when the program starts. Unlike a new
    // choice it is kept when a check fails (the network may be down or slow at start): its
    // providers are installed and scheduled all the same, and the scheduler's retries fetch its
    // weather once the service answers; without a known position the forecast looks the
    // position up at each of its runs. False with SELECTION_ERROR in error when a check
    // failed, so the caller can say why the weather is late. Throws like setCurrentLocation.
    bool restoreCurrentLocation(const std::string& displayName, std::string& error);

    // The models are created once and never replaced; share them freely.
    const std::shared_ptr<ForecastModel> getForecastModel() const { return forecastModel; }
    const std::shared_ptr<AlertModel> getAlertModel() const { return alertModel; }
    const std::shared_ptr<CurrentWeatherInfoModel> getCurrentConditionsModel() const {
        return currentConditionsModel;
    }

private:
    LocationService();
    ~LocationService();

    // Stops the current location's updates and forgets it, as described at deleteLocation.
    void forgetCurrentLocation();
    // Whether that location is current with its providers installed.
    bool isProvided(const std::string& displayName) const;
    // A copy of the listed location; throws std::invalid_argument when it is not listed.
    std::shared_ptr<Location_t> listedCopy(const std::string& displayName) const;

    // Checks the candidate (station, then position) and, when both pass, installs its
    // providers and restarts the scheduler. False, with nothing changed, on a failed check;
    // with keepOnFailedCheck the providers are installed anyway and the result says whether
    // the checks passed.
    bool updateProviders(const std::shared_ptr<Location_t>& candidate, bool keepOnFailedCheck);

    std::set<Location_t> locations;
    std::shared_ptr<Location_t> currentLocation;
    // The copy the installed providers read (the retry handler holds a pointer into it). It is
    // replaced only once the scheduler has stopped and the providers that read it are gone, so
    // a failed selection never frees it under a running task. Usually the current location;
    // it differs only after a failed selection left its candidate current.
    std::shared_ptr<Location_t> providedLocation;
    std::shared_ptr<ForecastModel> forecastModel;
    std::shared_ptr<AlertModel> alertModel;
    std::shared_ptr<CurrentWeatherInfoModel> currentConditionsModel;
};

}  // namespace vpcore
