#include "weather/CurrentWeatherComInfoProviderImpl.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <map>
#include <memory>

#include "services/Converter.h"
#include "services/FileService.h"
#include "services/Logger.h"
#include "services/ServiceHost.h"
#include "weather/CurrentWeatherInfoModel.h"
#include "weather/WeatherFormulas.h"

namespace vpcore {

namespace {

// No public default: whoever installs this provider names the feed's host.
const char* const kDefaultHost = "xoap.example.com";

std::string feedHost() {
    return serviceHost("OMBRIX_XOAP_HOST", kDefaultHost);
}

// Text of the direct child `name` of parent; "" when either is absent.
std::string childText(const QDomNode& parent, const char* name) {
    return parent.namedItem(QString::fromLatin1(name)).toElement().text().toStdString();
}

// The derived texts of a checked reading; "" (no reading) stays "".
std::string celsiusText(const std::string& fahrenheit) {
    return fahrenheit.empty()
               ? std::string()
               : Converter::formatDecimalString(Converter::fahrenheitToCelsius(static_cast<float>(
                                                    Converter::toDouble(fahrenheit))),
                                                1);
}

}  // namespace

const char* const CurrentWeatherComInfoProviderImpl::kPartnerId = "2739105846";
const char* const CurrentWeatherComInfoProviderImpl::kLicenceKey = "5c81e07da3b94f26";
const char* const CurrentWeatherComInfoProviderImpl::kIconFolder = "/resources/xoap_icons/";
const char* const CurrentWeatherComInfoProviderImpl::kLogoFile =
    "/resources/xoap_logo/TWClogo_61px.png";

CurrentWeatherComInfoProviderImpl::CurrentWeatherComInfoProviderImpl(const std::string& locationId)
    : AbstractXMLWeatherInfoProvider(locationId, 10) {}

CurrentWeatherComInfoProviderImpl::~CurrentWeatherComInfoProviderImpl() = default;

std::string CurrentWeatherComInfoProviderImpl::buildUrl() const {
    return "http://" + feedHost() + "/weather/local/" + location +
           "?cc=*&prod=xoap&link=xoap&par=" + kPartnerId + "&key=" + kLicenceKey;
}

std::vector<std::string> CurrentWeatherComInfoProviderImpl::getValidationNodeList() const {
    return {"loc", "cc"};
}

bool CurrentWeatherComInfoProviderImpl::doUpdate(IWeatherModel* const model) {
    Logger& logger = Logger::Instance();
    auto* const conditions = dynamic_cast<CurrentWeatherInfoModel*>(model);
    if (conditions == nullptr) {
        logger.log("ERROR", "Current conditions provider given a model of another kind.");
        return false;
    }
    logger.log("INFO", "Begin current conditions update from " + getUrl() + " ...");
    const std::unique_ptr<QDomDocument> document = fetchXMLDocument();
    if (!document) {
        return false;
    }

    const QDomElement root = document->documentElement();
    const QDomNode loc = root.namedItem("loc");
    const QDomNode cc = root.namedItem("cc");
    const QDomNode links = root.namedItem("lnks");
    const QDomNode wind = cc.namedItem("wind");
    const QDomNode bar = cc.namedItem("bar");

    // Every number is checked before it is used: "nan", "1e39" or an absurd reading is no
    // reading (WARN), as is a missing one, and nothing is derived from it.
    const std::string tmp = plausibleReading(Reading::TemperatureF, "tmp", childText(cc, "tmp"));
    const std::string speed = plausibleReading(Reading::WindMph, "s", childText(wind, "s"));
    const std::string dewpoint =
        plausibleReading(Reading::TemperatureF, "dewp", childText(cc, "dewp"));
    const std::string humidity =
        plausibleReading(Reading::RelativeHumidity, "hmid", childText(cc, "hmid"));
    const std::string pressure = plausibleReading(Reading::PressureIn, "r", childText(bar, "r"));
    const std::string feelsLike =
        plausibleReading(Reading::TemperatureF, "flik", childText(cc, "flik"));
    const std::string visibility =
        plausibleReading(Reading::VisibilityMi, "vis", childText(cc, "vis"));
    const std::string observationTime = childText(cc, "lsup");

    std::map<short, std::string> values;
    values[0] = tmp;
    values[1] = celsiusText(tmp);
    values[11] = Converter::windDirectionToAbbrev(childText(wind, "t"));
    values[9] = speed;
    values[10] = kphText(speed);
    values[13] = cc.namedItem("t").isNull() ? std::string("Unknown") : childText(cc, "t");
    values[4] = dewpoint;
    values[5] = celsiusText(dewpoint);
    values[8] = humidity;
    values[7] = pressure;
    values[6] = millibarsText(pressure);
    values[2] = feelsLike;  // the feed's own value: no formula
    values[3] = celsiusText(feelsLike);
    values[14] = visibility;
    values[15] = kphText(visibility);
    values[12] = observationTime;

    const std::string previousTime = conditions->getObservationTime();
    if (!previousTime.empty() && previousTime == observationTime) {
        logger.log("INFO", "Current conditions is old. Not going to make the update.");
        return false;
    }

    values[16] = childText(loc, "dnam");
    std::string icon = childText(cc, "icon");
    if (icon.size() == 1) {
        icon = "0" + icon;
    }
    const std::string installPath = FileService::Instance().getInstallPath();
    values[18] = installPath + kIconFolder + icon + ".png";
    values[20] = installPath + kLogoFile;
    values[21] = "http://" + feedHost() + "/";

    CurrentWeatherInfoModel::ProviderLinks providerLinks;
    const QDomNodeList linkElements = links.toElement().elementsByTagName("link");
    for (int i = 0; i < linkElements.size(); ++i) {
        const QDomNode link = linkElements.at(i);
        providerLinks.emplace_back(childText(link, "t"), childText(link, "l"));
    }

    conditions->setProperties(values);
    conditions->setProviderLinks(providerLinks);
    logger.log("INFO", "Current conditions update complete.");
    return true;
}

}  // namespace vpcore
