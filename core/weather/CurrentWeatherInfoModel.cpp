#include "weather/CurrentWeatherInfoModel.h"

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "services/Converter.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

namespace vpcore {

CurrentWeatherInfoModel::CurrentWeatherInfoModel() {
    NotificationService::Instance().registerPropertyIds(
        {PROP_TEMP_F,           PROP_TEMP_C,        PROP_FEELS_LIKE_F,
         PROP_FEELS_LIKE_C,     PROP_DEWPOINT_F,    PROP_DEWPOINT_C,
         PROP_PRESSURE_MB,      PROP_PRESSURE_IN,   PROP_RELATIVE_HUMIDITY,
         PROP_WIND_MPH,         PROP_WIND_KMH,      PROP_WIND_DIR,
         PROP_OBSERVATION_TIME, PROP_WEATHER,       PROP_VISIBILITY_MI,
         PROP_VISIBILITY_KM,    PROP_LOCATION,      PROP_ICON_URL,
         PROP_PROVIDER_LINKS,   PROP_PROVIDER_LOGO, PROP_PROVIDER_LINK,
         PROP_CONDITIONS_RESET});
}

CurrentWeatherInfoModel::~CurrentWeatherInfoModel() = default;

bool CurrentWeatherInfoModel::performTask() {
    return getProvider().update(this);
}

std::string CurrentWeatherInfoModel::getTaskName() const {
    return "Current Conditions Update";
}

bool CurrentWeatherInfoModel::contributesToProgressBar() const {
    return true;
}

std::string CurrentWeatherInfoModel::getDescription() const {
    return "Updating current conditions.";
}

void CurrentWeatherInfoModel::setProperties(const std::map<short, std::string>& values) {
    const auto newLocation = values.find(PROP_LOCATION);
    if (newLocation != values.end() && newLocation->second != location) {
        try {
            reset();
        } catch (const std::exception& e) {
            // The fields are cleared by now; the new values below still apply, the location
            // among them, so that the next update of this place does not reset again.
            Logger::Instance().log(
                "WARN", std::string("Could not notify the reset of the conditions: ") + e.what());
        } catch (...) {
            Logger::Instance().log("WARN", "Could not notify the reset of the conditions");
        }
    }
    for (const auto& [id, text] : values) {
        try {
            applyProperty(id, text);
        } catch (...) {
            Logger::Instance().log("WARN", "Could not update property with PropId " +
                                               std::to_string(id) + " and value " + text);
        }
    }
}

void CurrentWeatherInfoModel::applyProperty(short id, const std::string& text) {
    switch (id) {
        case PROP_TEMP_F:
            return setFloat(id, temperatureF, text);
        case PROP_TEMP_C:
            return setFloat(id, temperatureC, text);
        case PROP_FEELS_LIKE_F:
            return setFloat(id, feelsLikeF, text);
        case PROP_FEELS_LIKE_C:
            return setFloat(id, feelsLikeC, text);
        case PROP_DEWPOINT_F:
            return setFloat(id, dewpointF, text);
        case PROP_DEWPOINT_C:
            return setFloat(id, dewpointC, text);
        case PROP_PRESSURE_MB:
            return setFloat(id, pressureMb, text);
        case PROP_PRESSURE_IN:
            return setFloat(id, pressureIn, text);
        case PROP_WIND_MPH:
            return setFloat(id, windMph, text);
        case PROP_WIND_KMH:
            return setFloat(id, windKmh, text);
        case PROP_VISIBILITY_MI:
            return setFloat(id, visibilityMi, text);
        case PROP_VISIBILITY_KM:
            return setFloat(id, visibilityKm, text);
        case PROP_RELATIVE_HUMIDITY: {
            const std::optional<double> reading = Converter::leadingNumber(text);
            const double value = reading ? std::trunc(*reading) : 0.0;
            // A value no int can hold would make the conversion undefined.
            if (reading && !(value >= std::numeric_limits<int>::min() &&
                             value <= std::numeric_limits<int>::max())) {
                throw std::out_of_range("relative humidity out of range");
            }
            const int old = relativeHumidity;
            relativeHumidity = reading ? static_cast<int>(value) : NO_HUMIDITY;
            NotificationService::Instance().notify<int>(id, &old, &relativeHumidity);
            return;
        }
        case PROP_WIND_DIR:
            return setString(id, windDirection, text);
        case PROP_OBSERVATION_TIME:
            return setString(id, observationTime, text);
        case PROP_WEATHER:
            return setString(id, weather, text);
        case PROP_LOCATION:
            return setString(id, location, text);
        case PROP_ICON_URL:
            return setString(id, iconUrl, text);
        case PROP_PROVIDER_LOGO:
            return setString(id, providerLogo, text);
        case PROP_PROVIDER_LINK:
            return setString(id, providerLink, text);
        case PROP_PROVIDER_LINKS:
            // The links arrive through setProviderLinks.
            return;
        default:
            throw std::invalid_argument("Unknown PropId " + std::to_string(id) + " not handled");
    }
}

void CurrentWeatherInfoModel::setFloat(short id, float& field, const std::string& text) {
    const float old = field;
    const std::optional<double> value = Converter::leadingNumber(text);
    field = value ? static_cast<float>(*value) : std::numeric_limits<float>::quiet_NaN();
    NotificationService::Instance().notify<float>(id, &old, &field);
}

void CurrentWeatherInfoModel::setString(short id, std::string& field, const std::string& text) {
    const std::string old = field;
    field = text;
    NotificationService::Instance().notify<std::string>(id, &old, &field);
}

void CurrentWeatherInfoModel::setProviderLinks(const ProviderLinks& links) {
    const ProviderLinks old = providerLinks;
    providerLinks = links;
    NotificationService::Instance().notify<ProviderLinks>(PROP_PROVIDER_LINKS, &old,
                                                          &providerLinks);
}

void CurrentWeatherInfoModel::clear() {
    reset();
}

void CurrentWeatherInfoModel::reset() {
    temperatureF = temperatureC = 0.0f;
    feelsLikeF = feelsLikeC = 0.0f;
    dewpointF = dewpointC = 0.0f;
    pressureIn = pressureMb = 0.0f;
    relativeHumidity = 0;
    windMph = windKmh = 0.0f;
    visibilityMi = visibilityKm = 0.0f;
    windDirection.clear();
    weather.clear();
    location.clear();
    iconUrl.clear();
    observationTime.clear();
    NotificationService::Instance().notify(PROP_CONDITIONS_RESET);
}

}  // namespace vpcore
