#include "weather/AbstractXMLWeatherInfoProvider.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QXmlStreamReader>
#include <stdexcept>

#include "services/Logger.h"
#include "services/RemoteResourceService.h"
#include "services/StatusService.h"

namespace vpcore {

AbstractXMLWeatherInfoProvider::AbstractXMLWeatherInfoProvider(const std::string& location,
                                                               int timeout)
    : location(location), timeout(timeout) {}

AbstractXMLWeatherInfoProvider::~AbstractXMLWeatherInfoProvider() = default;

bool AbstractXMLWeatherInfoProvider::update(IWeatherModel* const model) {
    url = buildUrl();
    if (url.empty()) {
        Logger::Instance().log("ERROR", "Cannot update with no URL");
        return false;
    }
    return doUpdate(model);
}

bool AbstractXMLWeatherInfoProvider::test() {
    url = buildUrl();
    if (url.empty()) {
        Logger::Instance().log("ERROR", "No URL");
        return false;
    }
    if (getValidationNodeList().empty()) {
        throw std::logic_error("No validation node list. Cannot test the document.");
    }
    try {
        getXMLDocument();
    } catch (const VpUpdateException& e) {
        handleException(e);
        return false;
    }
    return true;
}

std::vector<std::string> AbstractXMLWeatherInfoProvider::getValidationNodeList() const {
    return std::vector<std::string>();
}

std::unique_ptr<QDomDocument> AbstractXMLWeatherInfoProvider::getXMLDocument() const {
    auto document = std::make_unique<QDomDocument>();

    RemoteResourceService& service = RemoteResourceService::instance();
    service.enableSanityCheckConnection(true);
    QString error;
    // The limit applies while the reply arrives: an endless body is never buffered whole.
    const std::unique_ptr<QNetworkReply> reply =
        service.getResource(QString::fromStdString(url), error, timeout, MAX_DOCUMENT_BYTES);
    const qint64 refusedSize = RemoteResourceService::refusedSize(*reply);
    if (refusedSize != 0) {
        const std::string limit = std::to_string(MAX_DOCUMENT_BYTES);
        throw VpUpdateException(refusedSize > 0
                                    ? "Error parsing document: the document has " +
                                          std::to_string(refusedSize) + " bytes, more than the " +
                                          limit + " accepted"
                                    : "Error parsing document: the document has more than the " +
                                          limit + " bytes accepted",
                                VP_PARSE_ERROR);
    }
    if (!error.isEmpty()) {
        throw VpUpdateException(
            "Error retrieving document: " + error.toStdString(),
            service.isNetworkConnected() ? VP_RETRIEVAL_ERROR : VP_NO_NETWORK_CONNECTION);
    }

    const QByteArray body = reply->readAll();
    checkShape(body);

    QString message;
    int line = 0;
    int column = 0;
    // This overload does no namespace processing: prefixed names are matched as written.
    if (!document->setContent(body, &message, &line, &column)) {
        throw VpUpdateException("Error parsing document: " + message.toStdString() + " line: " +
                                    std::to_string(line) + " col: " + std::to_string(column),
                                VP_PARSE_ERROR);
    }

    if (!validateNodeNames(document.get())) {
        throw VpUpdateException(
            "Document unsupported.\nSome expected nodes do not exist.\nPlease choose another "
            "weather location.",
            VP_UNSUPPORTED_DOCUMENT);
    }
    return document;
}

void AbstractXMLWeatherInfoProvider::checkShape(const QByteArray& body) {
    // A stream reader keeps no tree: it walks any depth and any number of nodes in linear
    // time and little memory.
    QXmlStreamReader reader(body);
    int depth = 0;
    long long nodes = 0;
    const auto where = [&reader] {
        return " line: " + std::to_string(reader.lineNumber()) +
               " col: " + std::to_string(reader.columnNumber());
    };
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > MAX_DOCUMENT_DEPTH) {
                throw VpUpdateException("Error parsing document: elements nested deeper than " +
                                            std::to_string(MAX_DOCUMENT_DEPTH) + " levels" +
                                            where(),
                                        VP_PARSE_ERROR);
            }
            nodes += 1 + reader.attributes().size();
            if (nodes > MAX_DOCUMENT_NODES) {
                throw VpUpdateException("Error parsing document: more than " +
                                            std::to_string(MAX_DOCUMENT_NODES) +
                                            " elements and attributes" + where(),
                                        VP_PARSE_ERROR);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
}

std::unique_ptr<QDomDocument> AbstractXMLWeatherInfoProvider::fetchXMLDocument() {
    try {
        return getXMLDocument();
    } catch (const VpUpdateException& e) {
        handleException(e);
        return nullptr;
    }
}

void AbstractXMLWeatherInfoProvider::handleException(const VpUpdateException& e) {
    defaultHandleException(e);
}

void AbstractXMLWeatherInfoProvider::defaultHandleException(const VpUpdateException& e) {
    // The same wording for every feed, forecast and alerts included.
    std::string text = "Could not update current weather. ";
    if (e.getErrorCode() == VP_NO_NETWORK_CONNECTION) {
        text += "No network connection.";
    } else if (e.getErrorCode() == VP_UNSUPPORTED_DOCUMENT) {
        text += e.what();
    }
    StatusService::Instance().update(StatusMessage_t(text, 0));
    Logger::Instance().log("ERROR", e.what());
}

bool AbstractXMLWeatherInfoProvider::validateNodeNames(QDomDocument* document) const {
    const QDomElement root = document->documentElement();
    for (const std::string& name : getValidationNodeList()) {
        if (root.namedItem(QString::fromStdString(name)).isNull()) {
            Logger::Instance().log("ERROR", "Node validation error: " + name + " does not exist.");
            return false;
        }
    }
    return true;
}

}  // namespace vpcore
