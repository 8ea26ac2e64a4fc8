#include "weather/GoogleMapFromKmlGenerator.h"

#include <QDomElement>
#include <QDomNodeList>
#include <QFile>
#include <QNetworkReply>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdio>

#include "services/Converter.h"
#include "services/FileService.h"
#include "services/RemoteResourceService.h"
#include "services/StringUtils.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"

namespace vpcore {

namespace {

float textOf(const QDomElement& parent, const char* name) {
    return static_cast<float>(
        Converter::toDouble(parent.firstChildElement(name).text().toStdString()));
}

// latitude and longitude of "lat,lon"; false when either part is not a number.
bool parseLatLon(const std::string& latLon, float& latitude, float& longitude) {
    std::vector<std::string> parts;
    StringUtils::split2(latLon, parts, ",");
    if (parts.size() != 2) {
        return false;
    }
    bool latitudeOk = false;
    bool longitudeOk = false;
    latitude = QString::fromStdString(parts[0]).trimmed().toFloat(&latitudeOk);
    longitude = QString::fromStdString(parts[1]).trimmed().toFloat(&longitudeOk);
    return latitudeOk && longitudeOk;
}

// The text as the body of a quoted JavaScript string inside the page's script element. The
// links come from a downloaded archive: a quote, a backslash, a line break or "</script>"
// in one would end the string or the script and run whatever follows. Everything but the
// characters of an ordinary address is written as a \u escape.
std::string scriptStringBody(const std::string& text) {
    static const QString plain = QStringLiteral("-._~:/?#[]@!$&()*+,;=%");
    const QString unicode = QString::fromStdString(text);
    std::string out;
    out.reserve(text.size());
    for (const QChar c : unicode) {
        const char16_t unit = c.unicode();
        if ((unit < 0x80 && c.isLetterOrNumber()) || plain.contains(c)) {
            out += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out;
}

}  // namespace

const char* const GoogleMapFromKmlGenerator::kUnzipProgram = "miniunzip";
const char* const GoogleMapFromKmlGenerator::kTemplatePath = "maps/map.template";

GoogleMapFromKmlGenerator::GoogleMapFromKmlGenerator(const std::string& kmzUrl,
                                                     const std::string& latLon,
                                                     const std::string& workFolder,
                                                     const std::string& htmlFileName,
                                                     const std::string& kmzFileName)
    : kmzUrl(kmzUrl),
      latLon(latLon),
      workFolder(workFolder),
      htmlFileName(htmlFileName),
      kmzFileName(kmzFileName) {}

bool GoogleMapFromKmlGenerator::generate(std::string& error) {
    // A location that is not two numbers would centre the search box anywhere.
    float latitude = 0.0f;
    float longitude = 0.0f;
    if (!parseLatLon(latLon, latitude, longitude)) {
        error = "Invalid latitude and longitude: " + latLon;
        return false;
    }
    std::unique_ptr<QDomDocument> document = getIndexKml(error);
    if (!document || document->isNull()) {
        return false;
    }
    std::vector<std::string> links;
    getLinks(std::move(document), links);
    return generateHTMLFile(links, error);
}

std::unique_ptr<QDomDocument> GoogleMapFromKmlGenerator::getIndexKml(std::string& error) const {
    RemoteResourceService& service = RemoteResourceService::instance();
    service.enableSanityCheckConnection(true);
    QString fetchError;
    const std::unique_ptr<QNetworkReply> reply =
        service.getResource(QString::fromStdString(kmzUrl), fetchError, 10);
    // A failed fetch (an error page, a time-out) must not be unpacked as if it were the KMZ.
    if (!reply || !fetchError.isEmpty() || !reply->isReadable()) {
        error = "Cannot read from NetworkReply";
        return nullptr;
    }
    const QByteArray body = reply->readAll();
    if (body.isEmpty()) {
        error = "No data in NetworkReply";
        return nullptr;
    }

    const std::string kmzPath = workFolder + kmzFileName + ".kmz";
    QFile kmz(QString::fromStdString(kmzPath));
    if (!kmz.open(QIODevice::WriteOnly)) {
        error = "Could not open " + kmzPath + " for writing";
        return nullptr;
    }
    if (kmz.write(body) != body.size()) {
        error = "Could not write data to " + kmzPath;
        return nullptr;
    }
    kmz.flush();
    kmz.close();

    // The unzip program unpacks into its working folder: running it in the work folder puts
    // index.kml there (it strips "../" and leading "/" from entry names, so nothing lands
    // outside).
    QProcess unzip;
    unzip.setWorkingDirectory(QString::fromStdString(workFolder));
    unzip.setProcessChannelMode(QProcess::MergedChannels);
    try {
        unzip.start(QString::fromLatin1(kUnzipProgram),
                    QStringList() << QStringLiteral("-o ") << kmz.fileName(), QIODevice::ReadWrite);
        if (!unzip.waitForStarted(5000) || !unzip.waitForFinished(10000)) {
            unzip.kill();
            unzip.waitForFinished(1000);
            error = "Could not decompress " + kmzPath;
            return nullptr;
        }
    } catch (const std::exception& e) {
        error = "Could not decompress " + kmzPath + " " + e.what();
        return nullptr;
    } catch (...) {
        error = "Could not decompress " + kmzPath;
        return nullptr;
    }
    const QString output = QString::fromLocal8Bit(unzip.readAll());
    if (!output.contains(QStringLiteral("opened")) ||
        !output.contains(QStringLiteral("extracting: index.kml"))) {
        error = output.toStdString();
        return nullptr;
    }

    QFile kml(QString::fromStdString(workFolder + "index.kml"));
    QByteArray kmlBytes;
    if (kml.open(QIODevice::ReadOnly)) {
        kmlBytes = kml.read(AbstractXMLWeatherInfoProvider::MAX_DOCUMENT_BYTES + 1);
    }
    // The archive comes from the network: the same limits as for any fetched document.
    if (kmlBytes.size() > AbstractXMLWeatherInfoProvider::MAX_DOCUMENT_BYTES) {
        error = "Error parsing document: index.kml is larger than " +
                std::to_string(AbstractXMLWeatherInfoProvider::MAX_DOCUMENT_BYTES) + " bytes";
        return nullptr;
    }
    try {
        AbstractXMLWeatherInfoProvider::checkShape(kmlBytes);
    } catch (const VpUpdateException& e) {
        error = e.what();
        return nullptr;
    }
    auto document = std::make_unique<QDomDocument>();
    QString message;
    int line = 0;
    int column = 0;
    if (!document->setContent(kmlBytes, &message, &line, &column)) {
        error = "Error parsing document: " + message.toStdString() +
                " line: " + std::to_string(line) + " col: " + std::to_string(column);
        return nullptr;
    }
    return document;
}

void GoogleMapFromKmlGenerator::getLinks(std::unique_ptr<QDomDocument> document,
                                         std::vector<std::string>& links) const {
    float latitude = 0.0f;
    float longitude = 0.0f;
    if (!parseLatLon(latLon, latitude, longitude)) {
        return;
    }
    const QDomNodeList networkLinks = document->elementsByTagName(QStringLiteral("NetworkLink"));
    for (int i = 0; i < networkLinks.size(); ++i) {
        const QDomElement link = networkLinks.at(i).toElement();
        const QDomElement box =
            link.firstChildElement(QStringLiteral("Region")).firstChildElement("LatLonAltBox");
        const float centreLatitude = (textOf(box, "north") + textOf(box, "south")) / 2.0f;
        const float centreLongitude = (textOf(box, "east") + textOf(box, "west")) / 2.0f;
        if (centreLatitude >= latitude - 2.0f && centreLatitude <= latitude + 2.0f &&
            centreLongitude >= longitude - 2.0f && centreLongitude <= longitude + 2.0f) {
            links.push_back(link.firstChildElement(QStringLiteral("Link"))
                                .firstChildElement(QStringLiteral("href"))
                                .text()
                                .toStdString());
        }
    }
}

bool GoogleMapFromKmlGenerator::generateHTMLFile(const std::vector<std::string>& links,
                                                 std::string& error) const {
    QFile templateFile(QString::fromLatin1(kTemplatePath));
    if (!templateFile.exists()) {
        templateFile.setFileName(
            QString::fromStdString(FileService::Instance().getInstallPath() + "/") +
            QString::fromLatin1(kTemplatePath));
    }
    if (!templateFile.open(QIODevice::ReadOnly)) {
        error = "Could not open template file";
        return false;
    }
    QString page = QString::fromUtf8(templateFile.readAll());
    if (page.isEmpty()) {
        error = "Could not read template file";
        return false;
    }

    std::string script;
    for (std::size_t i = 1; i <= links.size(); ++i) {
        script += "    var layer" + std::to_string(i) + " = new google.maps.KmlLayer('" +
                  scriptStringBody(links[i - 1]) +
                  "', { map: map, preserveViewport: true, suppressInfoWindows: true});\n";
    }
    for (std::size_t i = 1; i <= links.size(); ++i) {
        script += "    google.maps.event.addListener(layer" + std::to_string(i) +
                  " , \"metadata_changed\", function() { onMetaDataChanged(); });\n";
    }
    page.replace(QStringLiteral("${NUM_KML_LAYERS}"), QString::number(links.size()));
    page.replace(QStringLiteral("${KML_LAYERS}"), QString::fromStdString(script));
    page.replace(QStringLiteral("${LAT_LON}"), QString::fromStdString(latLon));

    const std::string path = workFolder + htmlFileName;
    QFile html(QString::fromStdString(path));
    if (!html.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = "Could not open " + path + " for writing";
        return false;
    }
    const QByteArray bytes = page.toUtf8();
    if (html.write(bytes) != bytes.size() || !html.flush()) {
        error = "Could not write data to " + path;
        return false;
    }
    html.close();
    return true;
}

}  // namespace vpcore
