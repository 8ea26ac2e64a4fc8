#include "weather/AlertModelDetailsRetriever.h"

#include <QDomElement>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <stdexcept>

#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/RemoteResourceService.h"

namespace vpcore {

namespace {

// CAP documents come with a default namespace (as written by the NWS) or with a prefix.
QDomElement firstChild(const QDomElement& parent, const QString& name) {
    const QString suffix = QLatin1Char(':') + name;
    for (QDomElement child = parent.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName() == name || child.tagName().endsWith(suffix)) {
            return child;
        }
    }
    return QDomElement();
}

int indentation(const QString& line) {
    int count = 0;
    while (count < line.size() && line.at(count).isSpace()) {
        ++count;
    }
    return count;
}

// The NWS breaks descriptions into short lines that carry bullets and tables, so the breaks
// stay. A document that was re-indented as a whole shifts every line after the first; that
// shift and the trailing blanks go.
std::string blockText(const QDomElement& element) {
    QString text = element.text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    int commonIndent = -1;
    for (int i = 1; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (!line.trimmed().isEmpty()) {
            const int indent = indentation(line);
            commonIndent = commonIndent < 0 ? indent : std::min(commonIndent, indent);
        }
    }
    for (int i = 0; i < lines.size(); ++i) {
        QString line = i == 0 ? lines.at(i) : lines.at(i).mid(std::max(commonIndent, 0));
        while (!line.isEmpty() && line.back().isSpace()) {
            line.chop(1);
        }
        lines[i] = line;
    }
    return lines.join(QLatin1Char('\n')).trimmed().toStdString();
}

}  // namespace

AlertModelDetailsRetriever::AlertModelDetailsRetriever(std::shared_ptr<Alert_t> alert)
    : AbstractXMLWeatherInfoProvider(std::string(), 10), alert(std::move(alert)) {
    if (!this->alert) {
        throw std::invalid_argument("AlertModelDetailsRetriever needs an alert");
    }
}

AlertModelDetailsRetriever::~AlertModelDetailsRetriever() = default;

bool AlertModelDetailsRetriever::performTask() {
    alert->setDescription(nullptr);
    Logger::Instance().log("INFO", "Retrieving weather alert details from " + alert->id);
    setUrl(alert->id);
    bool retrieved = false;
    try {
        // The address comes from the network: never let it name a local file or resource.
        if (!RemoteResourceService::isWebAddress(QUrl(QString::fromStdString(alert->id)))) {
            throw VpUpdateException(
                "Error retrieving document: not a web address: \"" + alert->id + "\"",
                VP_RETRIEVAL_ERROR);
        }
        const std::unique_ptr<QDomDocument> document = getXMLDocument();
        alert->setDescription(std::make_unique<AlertDescription_t>(parseDescription(*document)));
        retrieved = true;
    } catch (const VpUpdateException& e) {
        handleException(e);
    }
    NotificationService::Instance().notify(PROP_ALERT_DETAILS);
    return retrieved;
}

std::string AlertModelDetailsRetriever::getTaskName() const {
    return "Retrieve Alert Details";
}

bool AlertModelDetailsRetriever::contributesToProgressBar() const {
    return true;
}

std::string AlertModelDetailsRetriever::getDescription() const {
    return "Retrieving weather alert details.";
}

AlertDescription_t AlertModelDetailsRetriever::parseDescription(const QDomDocument& cap) {
    const QDomElement info = firstChild(cap.documentElement(), QStringLiteral("info"));
    return AlertDescription_t(
        blockText(firstChild(info, QStringLiteral("description"))),
        blockText(firstChild(info, QStringLiteral("instruction"))),
        firstChild(info, QStringLiteral("event")).text().simplified().toStdString());
}

std::string AlertModelDetailsRetriever::buildUrl() const {
    return std::string();
}

bool AlertModelDetailsRetriever::doUpdate(IWeatherModel* const) {
    return true;
}

}  // namespace vpcore
