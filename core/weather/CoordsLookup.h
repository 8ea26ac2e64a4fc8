// Asks the NWS forecast web service for the position of one zip code. Used by
// GlobalPositionService on the GUI thread; never installed in a model.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <utility>

#include "services/VpCoreExport.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"

namespace vpcore {

class VPCORE_EXPORT CoordsLookup : public AbstractXMLWeatherInfoProvider {
public:
    explicit CoordsLookup(const std::string& zipCode);
    ~CoordsLookup() override;

    // (latitude, longitude) in degrees, or null with an ERROR line when the service cannot be
    // reached or its reply holds no usable position. Sends no status message.
    std::unique_ptr<std::pair<float, float>> getCoords();

    // The position in a "latLonList" text "latitude,longitude"; null, with the reason in
    // error, unless both parts are numbers within the range of their kind.
    static std::unique_ptr<std::pair<float, float>> parseLatLonList(const QString& text,
                                                                    std::string& error);
    // The position of two number texts; null unless both are numbers, the latitude within
    // [-90, 90] and the longitude within [-180, 180].
    static std::unique_ptr<std::pair<float, float>> parsePosition(const QString& latitude,
                                                                  const QString& longitude);

protected:
    // "http://" + host + "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php
    // ?listZipCodeList=" + zip, the host from OMBRIX_NWS_HOST or a default.
    std::string buildUrl() const override;
    // Does nothing: the lookup has no model.
    bool doUpdate(IWeatherModel* const model) override;

private:
    void logLookupError(const VpUpdateException& e) const;
    void logLookupError(const std::string& reason) const;
};

}  // namespace vpcore
