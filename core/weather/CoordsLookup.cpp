#include "weather/CoordsLookup.h"

#include <QDomElement>
#include <QStringList>
#include <cmath>

#include "services/Logger.h"
#include "services/ServiceHost.h"
#include "services/StringUtils.h"

namespace vpcore {

namespace {

const char* const kDefaultHost = "www.weather.gov";
const int kTimeoutSeconds = 10;

bool readCoordinate(const QString& text, float limit, float& value) {
    bool ok = false;
    value = text.trimmed().toFloat(&ok);
    return ok && std::isfinite(value) && std::fabs(value) <= limit;
}

}  // namespace

CoordsLookup::CoordsLookup(const std::string& zipCode)
    : AbstractXMLWeatherInfoProvider(zipCode, kTimeoutSeconds) {}

CoordsLookup::~CoordsLookup() = default;

std::string CoordsLookup::buildUrl() const {
    return "http://" + serviceHost("OMBRIX_NWS_HOST", kDefaultHost) +
           "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=" +
           location;
}

bool CoordsLookup::doUpdate(IWeatherModel* const) {
    return true;
}

std::unique_ptr<std::pair<float, float>> CoordsLookup::getCoords() {
    setUrl(buildUrl());
    std::unique_ptr<QDomDocument> document;
    try {
        document = getXMLDocument();
    } catch (const VpUpdateException& e) {
        logLookupError(e);
        return nullptr;
    }

    const QDomElement list = document->documentElement().firstChildElement("latLonList");
    if (list.isNull()) {
        logLookupError("the reply has no latLonList");
        return nullptr;
    }
    std::string error;
    std::unique_ptr<std::pair<float, float>> position = parseLatLonList(list.text(), error);
    if (!position) {
        logLookupError(error);
    }
    return position;
}

std::unique_ptr<std::pair<float, float>> CoordsLookup::parseLatLonList(const QString& text,
                                                                       std::string& error) {
    // An unknown zip code comes back as an empty list or a lone comma; reading those as 0, 0
    // would place the location in the ocean.
    const QStringList parts = text.trimmed().split(QLatin1Char(','));
    std::unique_ptr<std::pair<float, float>> position;
    if (parts.size() == 2) {
        position = parsePosition(parts[0], parts[1]);
    }
    if (!position) {
        error = "latLonList \"" + StringUtils::quotedPrefix(text.toStdString()) +
                "\" is not a latitude,longitude pair";
    }
    return position;
}

std::unique_ptr<std::pair<float, float>> CoordsLookup::parsePosition(const QString& latitude,
                                                                     const QString& longitude) {
    float lat = 0.0f;
    float lon = 0.0f;
    if (!readCoordinate(latitude, 90.0f, lat) || !readCoordinate(longitude, 180.0f, lon)) {
        return nullptr;
    }
    return std::make_unique<std::pair<float, float>>(lat, lon);
}

void CoordsLookup::logLookupError(const VpUpdateException& e) const {
    logLookupError(std::string(e.what()));
}

void CoordsLookup::logLookupError(const std::string& reason) const {
    Logger::Instance().log("ERROR",
                           "Unable to retrieve coords for zipcode " + location + ": " + reason);
}

}  // namespace vpcore
