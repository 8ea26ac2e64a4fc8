#include "weather/AlertProviderImpl.h"

#include <QDomElement>
#include <QDomNodeList>
#include <QString>
#include <algorithm>
#include <memory>
#include <stdexcept>

#include "services/Logger.h"
#include "services/ServiceHost.h"

namespace vpcore {

namespace {

const char* const kDefaultServiceRoot = "https://alerts.weather.gov";
const char* const kFeedPath = "/cap/wwaatmget.php?x=";

// Feeds are indented with tabs or blanks and break lines as they like; the texts serve as the
// alert's identity, so the same alert must read the same on every fetch.
std::string childText(const QDomElement& parent, const char* name) {
    return parent.firstChildElement(QString::fromLatin1(name)).text().simplified().toStdString();
}

}  // namespace

AlertProviderImpl::AlertProviderImpl(const std::string& alertCode)
    : AbstractXMLWeatherInfoProvider(alertCode, 10) {}

std::string AlertProviderImpl::serviceRoot() {
    return vpcore::serviceRoot("OMBRIX_ALERTS_HOST", kDefaultServiceRoot);
}

std::string AlertProviderImpl::buildUrl() const {
    return serviceRoot() + kFeedPath + location;
}

AlertModel::AlertList AlertProviderImpl::parseAlerts(const QDomDocument& feed) {
    const QDomElement root = feed.documentElement();
    // A well-formed page that is not a feed (a proxy's or a server's error page) has no
    // entries; read as an empty list it would expire every alert.
    if (root.tagName() != QLatin1String("feed")) {
        throw VpUpdateException("Document unsupported.\nThe alert feed has no feed element.",
                                VP_UNSUPPORTED_DOCUMENT);
    }
    const std::string feedId = childText(root, "id");

    AlertModel::AlertList alerts;
    const QDomNodeList entries = root.elementsByTagName(QStringLiteral("entry"));
    const int count = entries.count();
    if (count > kMaxFeedEntries) {
        Logger::Instance().log(
            "WARN", "The alert feed has " + std::to_string(count) + " entries, more than the " +
                        std::to_string(kMaxFeedEntries) + " read: entries " +
                        std::to_string(kMaxFeedEntries + 1) + " to " + std::to_string(count) +
                        " are left out, the first of them " +
                        childText(entries.at(kMaxFeedEntries).toElement(), "id") + ".");
    }
    for (int i = 0; i < std::min(count, kMaxFeedEntries); ++i) {
        const QDomElement entry = entries.at(i).toElement();
        auto alert = std::make_shared<Alert_t>(childText(entry, "id"));
        alert->updated = childText(entry, "updated");
        alert->published = childText(entry, "published");
        alert->title = childText(entry, "title");
        alert->summary = childText(entry, "summary");
        alert->effective = childText(entry, "cap:effective");
        alert->expires = childText(entry, "cap:expires");

        const bool dated =
            !alert->published.empty() || !alert->effective.empty() || !alert->expires.empty();
        const bool isTheFeed = !feedId.empty() && alert->id == feedId;
        if (dated && !isTheFeed) {
            alerts.push_back(alert);
        }
    }
    return alerts;
}

bool AlertProviderImpl::doUpdate(IWeatherModel* const model) {
    AlertModel* const alertModel = dynamic_cast<AlertModel*>(model);
    if (alertModel == nullptr) {
        throw std::invalid_argument("AlertProviderImpl can only update an AlertModel");
    }
    AlertModel::AlertList alerts;
    try {
        const std::unique_ptr<QDomDocument> document = getXMLDocument();
        alerts = parseAlerts(*document);
    } catch (const VpUpdateException& e) {
        handleException(e);
        return false;
    }
    // Also when empty: that is how the model learns that alerts have expired.
    alertModel->assignAlerts(alerts);
    return true;
}

}  // namespace vpcore
