// The current-conditions provider installed for every location: reads the NWS current
// observation of one station into CurrentWeatherInfoModel and, when that station gives nothing
// usable, tries the alternates its retry handler offers. update() runs on the scheduler's
// runner thread; the location service calls test() on the GUI thread before installing it.
#pragma once

#include <QDomDocument>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "services/VpCoreExport.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"
#include "weather/NWSCurrentWeatherInfoProviderRetryHandler.h"

namespace vpcore {

class VPCORE_EXPORT CurrentNWSWeatherInfoProviderImpl : public AbstractXMLWeatherInfoProvider {
public:
    typedef std::map<short, std::string> PropertyMap;  // property id -> text, as the model takes

    // retryHandler may be null (no alternates); the provider owns it.
    explicit CurrentNWSWeatherInfoProviderImpl(
        const std::string& stationId,
        std::unique_ptr<NWSCurrentWeatherInfoProviderRetryHandler> retryHandler = nullptr);
    // The handler has one owner: moving a provider hands it over, copying is not allowed.
    CurrentNWSWeatherInfoProviderImpl(CurrentNWSWeatherInfoProviderImpl&& other) = default;
    CurrentNWSWeatherInfoProviderImpl& operator=(CurrentNWSWeatherInfoProviderImpl&& other) =
        default;
    ~CurrentNWSWeatherInfoProviderImpl() override;

    // Takes ownership and deletes the previous handler.
    void setRetryHandler(std::unique_ptr<NWSCurrentWeatherInfoProviderRetryHandler> handler);
    NWSCurrentWeatherInfoProviderRetryHandler* getRetryHandler() const {
        return retryHandler.get();
    }
    // The station queried; the own station again after every retry pass.
    std::string getStationId() const { return location; }

    // The property values of a current-observation document (root "current_observation").
    // An absent element reads as empty text, an absent weather element as "Unknown"; a wind
    // speed or visibility that is not a number is read as absent. False, with the reason in
    // refusal, when a required value (temperatures, dew points, humidity, pressure) is not a
    // number: such a document is not used at all.
    static bool readObservation(const QDomDocument& document, PropertyMap& values,
                                std::string& refusal);

protected:
    // root + "/xml/current_obs/" + station id + ".xml"; the root is
    // "https://forecast.weather.gov", or OMBRIX_NWS_HOST when set ("host" or "host:port" over
    // http, or "scheme://host"); empty without a station id.
    std::string buildUrl() const override;
    bool doUpdate(IWeatherModel* const model) override;
    std::vector<std::string> getValidationNodeList() const override;

private:
    // One station: fetch, read, skip an observation the model already holds, publish.
    bool doRetryUpdate(IWeatherModel* const model);

    std::unique_ptr<NWSCurrentWeatherInfoProviderRetryHandler> retryHandler;
};

}  // namespace vpcore
