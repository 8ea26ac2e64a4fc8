#include "weather/CurrentNWSWeatherInfoProviderImpl.h"

#include <QDomElement>
#include <QString>
#include <QUrl>
#include <optional>

#include "services/Converter.h"
#include "services/Logger.h"
#include "services/PropIds.h"
#include "services/RemoteResourceService.h"
#include "services/ServiceHost.h"
#include "services/StringUtils.h"
#include "weather/CurrentWeatherInfoModel.h"
#include "weather/WeatherFormulas.h"

namespace vpcore {

namespace {

// The NWS serves the XML observations from its forecast host (they left w1.weather.gov in 2024).
const char* const kDefaultHost = "https://forecast.weather.gov";
const int kTimeoutSeconds = 10;

std::string nwsRoot() {
    return serviceRoot("OMBRIX_NWS_HOST", kDefaultHost);
}

// The trimmed text of the root's first child element of that name; absent -> empty.
std::string childText(const QDomElement& root, const char* name, bool* present = nullptr) {
    const QDomElement element = root.firstChildElement(QString::fromLatin1(name));
    if (present != nullptr) {
        *present = !element.isNull();
    }
    return StringUtils::trim(element.text().toStdString());
}

float toFloat(const std::string& text) {
    return static_cast<float>(Converter::toDouble(text));
}

// The feels-like temperature of checked readings ("" for none): none without the air
// temperature, nor without the humidity in the heat (the heat index needs it) or the wind in
// the cold (the wind chill does); between the two it is the air temperature.
std::optional<float> feelsLikeFrom(const std::string& tempF, const std::string& windMph,
                                   const std::string& humidity) {
    if (tempF.empty()) {
        return std::nullopt;
    }
    const float air = toFloat(tempF);
    if ((air >= 80.0f && humidity.empty()) || (air <= 50.0f && windMph.empty())) {
        return std::nullopt;
    }
    return feelsLikeTemperature(air, windMph.empty() ? 0.0f : toFloat(windMph),
                                humidity.empty() ? 0.0f : toFloat(humidity));
}

}  // namespace

CurrentNWSWeatherInfoProviderImpl::CurrentNWSWeatherInfoProviderImpl(
    const std::string& stationId,
    std::unique_ptr<NWSCurrentWeatherInfoProviderRetryHandler> retryHandler)
    : AbstractXMLWeatherInfoProvider(stationId, kTimeoutSeconds),
      retryHandler(std::move(retryHandler)) {}

CurrentNWSWeatherInfoProviderImpl::~CurrentNWSWeatherInfoProviderImpl() = default;

void CurrentNWSWeatherInfoProviderImpl::setRetryHandler(
    std::unique_ptr<NWSCurrentWeatherInfoProviderRetryHandler> handler) {
    retryHandler = std::move(handler);
}

std::string CurrentNWSWeatherInfoProviderImpl::buildUrl() const {
    if (location.empty()) {
        return std::string();
    }
    return nwsRoot() + "/xml/current_obs/" + location + ".xml";
}

std::vector<std::string> CurrentNWSWeatherInfoProviderImpl::getValidationNodeList() const {
    return {"temp_f",           "temp_c",   "dewpoint_f", "dewpoint_c", "relative_humidity",
            "observation_time", "location", "pressure_in"};
}

bool CurrentNWSWeatherInfoProviderImpl::doUpdate(IWeatherModel* const model) {
    bool ok = doRetryUpdate(model);
    if (ok) {
        return true;
    }
    if (!retryHandler) {
        Logger::Instance().log("INFO", "No retry handler available.");
        return false;
    }

    const std::string ownStation = location;
    while (!ok && retryHandler->hasMoreRetries()) {
        location = retryHandler->nextRetry();
        setUrl(buildUrl());
        Logger::Instance().log(
            "INFO", "Attempting current conditions update from alternate location " + getUrl());
        ok = doRetryUpdate(model);
    }
    // The next run starts from the own station again; the URL stays the last one tried.
    location = ownStation;
    retryHandler->reset();
    return ok;
}

bool CurrentNWSWeatherInfoProviderImpl::doRetryUpdate(IWeatherModel* const model) {
    Logger::Instance().log("INFO", "Begin current conditions update from " + getUrl() + " ...");
    auto* const conditions = dynamic_cast<CurrentWeatherInfoModel*>(model);
    if (conditions == nullptr) {
        Logger::Instance().log("ERROR", "Current conditions can only update their own model.");
        return false;
    }

    const std::unique_ptr<QDomDocument> document = fetchXMLDocument();
    if (!document) {
        return false;
    }

    const std::string previousLocation = conditions->getLocation();
    const std::string previousTime = conditions->getObservationTime();
    PropertyMap values;
    std::string refusal;
    if (!readObservation(*document, values, refusal)) {
        handleException(VpUpdateException(refusal, VP_UNSUPPORTED_DOCUMENT));
        return false;
    }

    if (!previousLocation.empty() && previousLocation == values[PROP_LOCATION] &&
        !previousTime.empty() && previousTime == values[PROP_OBSERVATION_TIME]) {
        Logger::Instance().log("INFO", "Current conditions is old. Not going to make the update.");
        return false;
    }

    conditions->setProperties(values);
    conditions->setProviderLinks(CurrentWeatherInfoModel::ProviderLinks());
    Logger::Instance().log("INFO", "Current conditions update complete.");
    return true;
}

bool CurrentNWSWeatherInfoProviderImpl::readObservation(const QDomDocument& document,
                                                        PropertyMap& values, std::string& refusal) {
    const QDomElement root = document.documentElement();

    // Stations write "NA" or nothing where a sensor gave no reading; published, that would
    // read as 0 degrees or 0 % humidity.
    for (const char* name :
         {"temp_f", "temp_c", "dewpoint_f", "dewpoint_c", "relative_humidity", "pressure_in"}) {
        const std::string text = childText(root, name);
        if (!Converter::toNumber(text)) {
            refusal = "Document unsupported.\n" + std::string(name) + " is not a number: \"" +
                      text + "\"";
            return false;
        }
    }

    // A number out of its range (1e30 degrees, -1e39 inHg) is no reading either; wind and
    // visibility are optional, and without a number they count as absent too. A value
    // derived from an absent one is absent: never computed from 0.
    const auto reading = [&root](Reading quantity, const char* name) {
        return plausibleReading(quantity, name, childText(root, name));
    };
    const std::string tempF = reading(Reading::TemperatureF, "temp_f");
    const std::string windMph = reading(Reading::WindMph, "wind_mph");
    const std::string humidity = reading(Reading::RelativeHumidity, "relative_humidity");
    const std::string pressureIn = reading(Reading::PressureIn, "pressure_in");
    const std::string visibilityMi = reading(Reading::VisibilityMi, "visibility_mi");
    bool hasWeather = false;
    const std::string weather = childText(root, "weather", &hasWeather);

    values[PROP_TEMP_F] = tempF;
    values[PROP_TEMP_C] = reading(Reading::TemperatureC, "temp_c");
    values[PROP_WIND_DIR] = Converter::windDirectionToAbbrev(childText(root, "wind_dir"));
    values[PROP_WIND_MPH] = windMph;
    values[PROP_WIND_KMH] = kphText(windMph);
    values[PROP_WEATHER] = hasWeather ? weather : std::string("Unknown");
    values[PROP_DEWPOINT_F] = reading(Reading::TemperatureF, "dewpoint_f");
    values[PROP_DEWPOINT_C] = reading(Reading::TemperatureC, "dewpoint_c");
    values[PROP_RELATIVE_HUMIDITY] = humidity;
    values[PROP_PRESSURE_IN] = pressureIn;
    values[PROP_PRESSURE_MB] = millibarsText(pressureIn);
    const std::optional<float> feelsLikeF = feelsLikeFrom(tempF, windMph, humidity);
    values[PROP_FEELS_LIKE_F] =
        feelsLikeF ? Converter::formatDecimalString(*feelsLikeF, 1) : std::string();
    values[PROP_FEELS_LIKE_C] =
        feelsLikeF ? Converter::formatDecimalString(Converter::fahrenheitToCelsius(*feelsLikeF), 1)
                   : std::string();
    values[PROP_VISIBILITY_MI] = visibilityMi;
    values[PROP_VISIBILITY_KM] = kphText(visibilityMi);
    values[PROP_OBSERVATION_TIME] = childText(root, "observation_time");
    values[PROP_LOCATION] = childText(root, "location");

    // A base without a name (or the reverse) is no image. The feed comes over plain http, so
    // anyone on the way may write it: its icon is fetched only from a web address, never from
    // a local file.
    const std::string iconBase = childText(root, "icon_url_base");
    const std::string iconName = childText(root, "icon_url_name");
    std::string iconUrl =
        iconBase.empty() || iconName.empty() ? std::string() : iconBase + iconName;
    if (!iconUrl.empty() &&
        !RemoteResourceService::isWebAddress(QUrl(QString::fromStdString(iconUrl)))) {
        Logger::Instance().log("WARN", "The condition icon \"" + iconUrl +
                                           "\" is not a web address; it is not fetched.");
        iconUrl.clear();
    }
    values[PROP_ICON_URL] = iconUrl;
    // This feed has no logo and no home-page link.
    values[PROP_PROVIDER_LOGO] = std::string();
    values[PROP_PROVIDER_LINK] = std::string();
    return true;
}

}  // namespace vpcore
