#include "weather/ForecastProviderImpl.h"

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDomElement>
#include <QDomNodeList>
#include <QSize>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <locale>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "display/LabelImageProvider.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/RemoteResourceService.h"
#include "services/ServiceHost.h"
#include "services/XMLHelper.h"
#include "weather/ForecastModel.h"

namespace vpcore {

namespace {

const QString kTwelveHourLayout = QStringLiteral("k-p12h");

// The feed's point forecast block. A MapClick document also carries a "current observations"
// block with its own temperatures, weather and icon; that one is never read here.
QDomElement forecastData(const QDomElement& root) {
    QDomElement untyped;
    for (QDomElement data = root.firstChildElement("data"); !data.isNull();
         data = data.nextSiblingElement("data")) {
        const QString type = data.attribute("type");
        if (type == "forecast") {
            return data;
        }
        if (type.isEmpty() && untyped.isNull()) {
            untyped = data;
        }
    }
    return untyped;
}

// Elements named `name` at any depth below `node`, in document order.
std::vector<QDomElement> elementsBelow(const QDomNode& node, const QString& name) {
    std::vector<QDomElement> found;
    const QDomNodeList list = node.toElement().elementsByTagName(name);
    found.reserve(static_cast<size_t>(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        found.push_back(list.item(i).toElement());
    }
    return found;
}

bool isNil(const QDomElement& element) {
    const QString nil = element.attribute("xsi:nil");
    return nil == "true" || nil == "1";
}

QString layoutOf(const QDomElement& element) {
    return element.attribute("time-layout").trimmed();
}

// The time-layout element whose key is `key`, searched below `data`.
QDomElement timeLayout(const QDomNode& data, const QString& key) {
    return XMLHelper::findNodeWhereTextEquals(data, "layout-key", key, false)
        .parentNode()
        .toElement();
}

// When the series of `element` starts; invalid when its layout or first time is unreadable.
QDateTime seriesStart(const QDomNode& data, const QDomElement& element) {
    const QDomElement layout = timeLayout(data, layoutOf(element));
    const QString start = layout.firstChildElement("start-valid-time").text().trimmed();
    return QDateTime::fromString(start, Qt::ISODate);
}

std::string degrees(float value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << static_cast<double>(value);
    return out.str();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::string mismatch(const std::string& what, size_t count, size_t periods) {
    return "Validation failed number of " + what + " (" + std::to_string(count) +
           ") do not match time periods (" + std::to_string(periods) + ")";
}

}  // namespace

ForecastProviderImpl::ForecastProviderImpl(const std::pair<float, float>& position)
    : AbstractXMLWeatherInfoProvider(std::string(), 10), position(position) {
    registerForPublish();
}

ForecastProviderImpl::~ForecastProviderImpl() = default;

std::string ForecastProviderImpl::forecastSiteUrl() {
    return serviceRoot("OMBRIX_FORECAST_HOST", "https://forecast.weather.gov");
}

void ForecastProviderImpl::registerForPublish() {
    try {
        NotificationService::Instance().registerPropertyIds({PROP_FORECAST_HI_LO});
    } catch (const std::invalid_argument&) {
        // Registered by an earlier provider: the id is global and outlives any one of them.
    }
}

std::string ForecastProviderImpl::buildUrl() const {
    std::string address = forecastSiteUrl() + "/MapClick.php?lat=$LAT$&lon=$LON$&FcstType=dwml";
    replaceAll(address, "$LAT$", degrees(position.first));
    replaceAll(address, "$LON$", degrees(position.second));
    return address;
}

bool ForecastProviderImpl::doUpdate(IWeatherModel* const model) {
    ForecastModel* const forecastModel = dynamic_cast<ForecastModel*>(model);
    if (forecastModel == nullptr) {
        Logger::Instance().log("ERROR", "The forecast provider can only fill a forecast model.");
        return false;
    }

    std::unique_ptr<QDomDocument> document = fetchXMLDocument();
    if (!document) {
        return false;
    }

    std::vector<std::unique_ptr<ForecastItem_t>> items;
    std::vector<std::string> iconLinks;
    if (!readForecast(*document, items, iconLinks)) {
        return false;
    }
    document.reset();
    fetchIcons(items, iconLinks);

    const bool hasFirst = !items.empty();
    const std::pair<int, std::string> first =
        hasFirst ? std::make_pair(items.front()->temperature, items.front()->hiLoLabel)
                 : std::make_pair(0, std::string());
    std::vector<ForecastItem_t*> handedOver;
    handedOver.reserve(items.size());
    for (std::unique_ptr<ForecastItem_t>& item : items) {
        handedOver.push_back(item.release());
    }
    forecastModel->assignForecastItems(handedOver);

    // Sent with an empty old value so that every update reaches the listeners. A forecast
    // without periods has no next temperature to tell of.
    if (hasFirst) {
        const std::pair<int, std::string> none(0, std::string());
        NotificationService::Instance().notify(PROP_FORECAST_HI_LO, &none, &first);
    }
    return true;
}

bool ForecastProviderImpl::readForecast(const QDomDocument& document,
                                        std::vector<std::unique_ptr<ForecastItem_t>>& items,
                                        std::vector<std::string>& iconLinks) {
    Logger& logger = Logger::Instance();
    const QDomElement data = forecastData(document.documentElement());
    const QDomElement parameters = data.firstChildElement("parameters");

    // Hazards and the like come with time-layouts of their own, often before the 12-hour one:
    // every 12-hourly element is read on the layout the weather element names.
    const QDomElement weather = XMLHelper::findNodeWhereAttributeEquals(
                                    parameters, "weather", "time-layout", kTwelveHourLayout, true)
                                    .toElement();
    if (weather.isNull()) {
        logger.log("ERROR", "Could not find weather node for short desc");
        return false;
    }
    const QString layout = layoutOf(weather);

    QDomElement worded = XMLHelper::findNodeWhereAttributeEquals(parameters, "wordedForecast",
                                                                 "time-layout", layout, false)
                             .toElement();
    if (worded.isNull()) {
        worded = XMLHelper::findNodeWhereAttributeEquals(parameters, "wordedForecast",
                                                         "time-layout", kTwelveHourLayout, true)
                     .toElement();
    }
    if (worded.isNull()) {
        logger.log("ERROR", "Could not find wordedForecast node for long desc");
        return false;
    }

    QDomElement periodLayout = timeLayout(data, layout);
    if (periodLayout.isNull()) {
        periodLayout =
            XMLHelper::findNodeWhereTextEquals(data, "layout-key", kTwelveHourLayout, true)
                .parentNode()
                .toElement();
    }
    if (periodLayout.isNull()) {
        logger.log("ERROR", "Could not find 12 hr. time layout node.");
        return false;
    }

    const std::vector<QDomElement> conditions = elementsBelow(weather, "weather-conditions");
    const std::vector<QDomElement> texts = elementsBelow(worded, "text");
    const std::vector<QDomElement> times = elementsBelow(periodLayout, "start-valid-time");
    std::vector<bool> missing;
    const TempList temps = buildTemps(parameters, missing);

    const size_t periods = times.size();
    if (temps.size() != periods) {
        logger.log("ERROR", mismatch("temps", temps.size(), periods));
        return false;
    }
    if (conditions.size() != periods) {
        logger.log("ERROR", mismatch("weather-conditions", conditions.size(), periods));
        return false;
    }
    if (texts.size() != periods) {
        logger.log("ERROR", mismatch("long descriptions", texts.size(), periods));
        return false;
    }

    // The icons of the same layout; else, as older feeds have it, the first icon list.
    QDomElement icons;
    for (QDomElement candidate = parameters.firstChildElement("conditions-icon");
         !candidate.isNull(); candidate = candidate.nextSiblingElement("conditions-icon")) {
        if (layoutOf(candidate) == layout) {
            icons = candidate;
            break;
        }
    }
    if (icons.isNull()) {
        icons = parameters.firstChildElement("conditions-icon");
    }
    const std::vector<QDomElement> links = elementsBelow(icons, "icon-link");

    // Each period costs memory and possibly an icon fetch on the runner thread.
    size_t kept = periods;
    if (periods > MAX_PERIODS) {
        logger.log("WARN", "The forecast has " + std::to_string(periods) +
                               " periods; only the first " + std::to_string(MAX_PERIODS) +
                               " are kept.");
        kept = MAX_PERIODS;
    }
    std::vector<std::unique_ptr<ForecastItem_t>> read;
    std::vector<std::string> readLinks;
    for (size_t i = 0; i < kept; ++i) {
        auto item = std::make_unique<ForecastItem_t>();
        item->periodName = times[i].attribute("period-name").trimmed().toStdString();
        if (missing[i]) {
            logger.log("WARN", "No temperature for forecast period \"" + item->periodName +
                                   "\"; the period is left out.");
            continue;
        }
        item->shortDesc = conditions[i].attribute("weather-summary").trimmed().toStdString();
        item->longDesc = texts[i].text().trimmed().toStdString();
        item->condition = ForecastModel::conditionFromLongDesc(item.get());
        item->temperature = temps[i].first;
        item->hiLoLabel = temps[i].second;
        read.push_back(std::move(item));
        readLinks.push_back(i < links.size() && !isNil(links[i])
                                ? links[i].text().trimmed().toStdString()
                                : std::string());
    }
    items.swap(read);
    iconLinks.swap(readLinks);
    return true;
}

ForecastProviderImpl::TempList ForecastProviderImpl::buildTemps(const QDomNode& parameters,
                                                                std::vector<bool>& missing) {
    const std::vector<QDomElement> temperatures = elementsBelow(parameters, "temperature");
    QDomElement first;
    QDomElement second;
    for (const QDomElement& temperature : temperatures) {
        const QString type = temperature.attribute("type");
        if ((type == "maximum" || type == "minimum") && first.isNull()) {
            first = temperature;
        } else if ((type == "maximum" || type == "minimum") && second.isNull() &&
                   type != first.attribute("type")) {
            second = temperature;
        }
    }
    if (first.isNull() || second.isNull()) {
        first = temperatures.size() > 0 ? temperatures[0] : QDomElement();
        second = temperatures.size() > 1 ? temperatures[1] : QDomElement();
    } else {
        // The feed lists the maxima first even when the forecast starts at night: the series
        // that starts first leads.
        const QDomNode data = parameters.parentNode();
        const QDateTime firstStart = seriesStart(data, first);
        const QDateTime secondStart = seriesStart(data, second);
        if (firstStart.isValid() && secondStart.isValid() && secondStart < firstStart) {
            std::swap(first, second);
        }
    }

    const std::string firstLabel = first.attribute("type") == "maximum" ? "Hi" : "Lo";
    const std::string secondLabel = firstLabel == "Hi" ? "Lo" : "Hi";
    const std::vector<QDomElement> firstValues = elementsBelow(first, "value");
    const std::vector<QDomElement> secondValues = elementsBelow(second, "value");

    TempList temps;
    missing.clear();
    const auto append = [&temps, &missing](const QDomElement& value, const std::string& label) {
        if (isNil(value)) {
            temps.emplace_back(0, label);
            missing.push_back(true);
            return;
        }
        const QString text = value.text().trimmed();
        bool ok = false;
        const int degreesF = text.toInt(&ok, 10);
        if (!ok) {
            Logger::Instance().log("ERROR",
                                   "Conversion of temp " + text.toStdString() + " failed.");
        }
        temps.emplace_back(ok ? degreesF : 0, label);
        missing.push_back(false);
    };
    for (size_t i = 0; i < firstValues.size(); ++i) {
        append(firstValues[i], firstLabel);
        if (i < secondValues.size()) {
            append(secondValues[i], secondLabel);
        }
    }
    return temps;
}

void ForecastProviderImpl::fetchIcons(std::vector<std::unique_ptr<ForecastItem_t>>& items,
                                      const std::vector<std::string>& iconLinks) const {
    Logger& logger = Logger::Instance();
    // The icons are fetched on the runner thread, ahead of the alerts and the observations:
    // however many links and however slow their hosts, they share one deadline.
    const QDeadlineTimer deadline(ICON_FETCH_SECONDS * 1000LL, Qt::PreciseTimer);
    const QSize iconBound(LabelImageProvider::MAX_ICON_SIDE, LabelImageProvider::MAX_ICON_SIDE);
    // Feeds repeat the same few icons; relative links are taken on the forecast's own site.
    const QUrl base(QString::fromStdString(getUrl()));
    std::map<std::string, QImage> fetched;
    std::set<QString> serversTimedOut;  // "host:port"
    size_t notFetched = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        items[i]->icon = std::make_unique<QImage>();
        const std::string link = i < iconLinks.size() ? iconLinks[i] : std::string();
        if (link.empty()) {
            continue;
        }
        const QUrl resolved = base.resolved(QUrl(QString::fromStdString(link)));
        const std::string address = resolved.toString().toStdString();
        const QString server =
            resolved.host() + ':' +
            QString::number(resolved.port(resolved.scheme() == QLatin1String("https") ? 443 : 80));
        auto image = fetched.find(address);
        if (image == fetched.end()) {
            // The document comes over plain http: a link in it is followed to the web only.
            if (!RemoteResourceService::isWebAddress(resolved)) {
                logger.log("WARN", "The forecast icon \"" + address +
                                       "\" is not a web address; it is not fetched.");
                image = fetched.emplace(address, QImage()).first;
            } else if (deadline.hasExpired() || serversTimedOut.count(server) != 0) {
                ++notFetched;
                continue;
            } else {
                // One hanging server leaves time for the icons of the others.
                const QDeadlineTimer own(
                    std::min<qint64>(deadline.remainingTime(), ICON_SECONDS_EACH * 1000LL),
                    Qt::PreciseTimer);
                QNetworkReply::NetworkError outcome = QNetworkReply::NoError;
                std::unique_ptr<QImage> icon =
                    LabelImageProvider::getRemoteImageAutoPtr(address, own, iconBound, &outcome);
                if (outcome == QNetworkReply::TimeoutError) {
                    serversTimedOut.insert(server);
                }
                image = fetched.emplace(address, std::move(*icon)).first;
            }
        }
        *items[i]->icon = image->second;
    }
    if (notFetched > 0) {
        logger.log("WARN", std::to_string(notFetched) +
                               " forecast icons were not fetched: their host timed out or the " +
                               std::to_string(ICON_FETCH_SECONDS) + " s for the icons had passed.");
    }
}

}  // namespace vpcore
