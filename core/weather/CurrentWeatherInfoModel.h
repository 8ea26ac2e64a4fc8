// The latest current conditions of the selected location, one field per property id; every
// change is published through the NotificationService. A scheduled task (run hourly on the
// scheduler's runner thread, where its provider writes the values back) and a weather model.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "services/IScheduledTask.h"
#include "services/VpCoreExport.h"
#include "weather/IWeatherModel.h"

namespace vpcore {

class VPCORE_EXPORT CurrentWeatherInfoModel : public IScheduledTask, public IWeatherModel {
public:
    typedef std::vector<std::pair<std::string, std::string> > ProviderLinks;  // (name, URL)

    // The relative humidity published when the station gave none; a float reading without a
    // value is published as NaN. Shown as no reading, never as 0.
    static constexpr int NO_HUMIDITY = -1;

    // Registers the property ids 0-16, 18-21 and 28; throws std::invalid_argument when one of
    // them is registered already.
    CurrentWeatherInfoModel();
    ~CurrentWeatherInfoModel() override;

    // Asks the provider to update this model.
    bool performTask() override;
    std::string getTaskName() const override;
    bool contributesToProgressBar() const override;
    std::string getDescription() const override;

    // Applies values by property id, in ascending id order, notifying each change. A new
    // location name first clears the observation values. An entry that cannot be applied is
    // logged (WARN) and skipped; the others still apply. A listener of the reset that throws
    // is logged (WARN) too, and the values still apply. A reading whose text starts with no
    // number ("" for absent, "NA") is published as no reading: NaN, or NO_HUMIDITY.
    void setProperties(const std::map<short, std::string>& values);
    void setProviderLinks(const ProviderLinks& links);
    // Forgets the observation as a new location does (PROP_CONDITIONS_RESET), for a place
    // that is no longer shown.
    void clear();

    std::string getLocation() const { return location; }
    std::string getObservationTime() const { return observationTime; }

private:
    void applyProperty(short id, const std::string& text);
    void setFloat(short id, float& field, const std::string& text);
    void setString(short id, std::string& field, const std::string& text);
    // Clears the observation values without notifying them one by one, then sends the
    // PROP_CONDITIONS_RESET event. Provider logo, link and links stay.
    void reset();

    float temperatureF = 0.0f;
    float temperatureC = 0.0f;
    float feelsLikeF = 0.0f;
    float feelsLikeC = 0.0f;
    float dewpointF = 0.0f;
    float dewpointC = 0.0f;
    float pressureIn = 0.0f;
    float pressureMb = 0.0f;
    int relativeHumidity = 0;  // percent
    float windMph = 0.0f;
    float windKmh = 0.0f;
    float visibilityMi = 0.0f;
    float visibilityKm = 0.0f;
    std::string windDirection;
    std::string weather;
    std::string location;
    std::string iconUrl;
    std::string observationTime;
    std::string providerLogo;
    std::string providerLink;
    ProviderLinks providerLinks;
};

}  // namespace vpcore
