// Reads the NWS point forecast (DWML from the MapClick page) of one position into the forecast
// model: the 12-hour periods with their icons, and the first period's temperature published as
// PROP_FORECAST_HI_LO. Built by the location service on the GUI thread; updates run on the
// scheduler's runner thread, icon downloads included.
#pragma once

#include <QDomDocument>
#include <QDomNode>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "services/VpCoreExport.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"
#include "weather/ForecastItem_t.h"

namespace vpcore {

class VPCORE_EXPORT ForecastProviderImpl : public AbstractXMLWeatherInfoProvider {
public:
    // A real document has some fourteen periods; past this many the rest is left out (WARN).
    static constexpr size_t MAX_PERIODS = 100;
    // All the icon fetches of one update share this deadline, each one of them waiting at most
    // ICON_SECONDS_EACH; an icon server that timed out is not asked again in that update, and
    // the icons not fetched by then stay empty (WARN). With the document's own 10 s, an update
    // holds the runner thread about 20 s at most.
    static constexpr int ICON_FETCH_SECONDS = 10;
    static constexpr int ICON_SECONDS_EACH = 5;

    // Temperature in degrees Fahrenheit and its label, "Hi" or "Lo".
    typedef std::vector<std::pair<int, std::string>> TempList;

    // position: latitude, longitude in decimal degrees. Registers PROP_FORECAST_HI_LO unless it
    // is registered already.
    explicit ForecastProviderImpl(const std::pair<float, float>& position);
    ForecastProviderImpl(const ForecastProviderImpl& other) = default;
    ForecastProviderImpl& operator=(const ForecastProviderImpl& other) = default;
    ~ForecastProviderImpl() override;

    // The step of an update after the fetch and before the icons: the 12-hour periods of a DWML
    // point forecast, in feed order, and beside each its icon address as the feed writes it (""
    // when it has none). A period whose temperature the feed marks as missing is left out, and
    // so is every period past the first MAX_PERIODS. False,
    // with an ERROR line and nothing filled, for a document that is not such a forecast.
    static bool readForecast(const QDomDocument& document,
                             std::vector<std::unique_ptr<ForecastItem_t>>& items,
                             std::vector<std::string>& iconLinks);

    // Scheme and host of the forecast site: OMBRIX_FORECAST_HOST ("host", "host:port", taken
    // as http, or a full "scheme://host") or https://forecast.weather.gov.
    static std::string forecastSiteUrl();

protected:
    std::string buildUrl() const override;
    // `model` must be the ForecastModel to fill.
    bool doUpdate(IWeatherModel* const model) override;

private:
    static void registerForPublish();
    // The forecast's maxima and minima interleaved, starting with the series that starts
    // first. `missing` gets, per entry, whether the feed marked the value as missing.
    static TempList buildTemps(const QDomNode& parameters, std::vector<bool>& missing);
    // Downloads each distinct web address once, within ICON_FETCH_SECONDS for all; a period
    // without an address, with one that is no web address or not fetched in time gets an
    // empty image.
    void fetchIcons(std::vector<std::unique_ptr<ForecastItem_t>>& items,
                    const std::vector<std::string>& iconLinks) const;

    std::pair<float, float> position;  // latitude, longitude
};

}  // namespace vpcore
