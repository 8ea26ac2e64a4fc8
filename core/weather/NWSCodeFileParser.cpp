#include "weather/NWSCodeFileParser.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "services/Logger.h"
#include "services/StringUtils.h"
#include "services/XMLHelper.h"

namespace vpcore {

namespace {

using StringUtils::trim;

std::runtime_error cannotOpen(const std::string& path) {
    return std::runtime_error("Could not open " + path + " for reading.");
}

[[noreturn]] void throwParseException(const std::string& line, const std::string& reason) {
    throw std::runtime_error("Error parsing line " + line + " :" + reason);
}

void parseCountyCodeLine(const std::string& line, NWSCodeService::CodeTable& table) {
    if (line.find(" ---") != std::string::npos) {
        std::vector<std::string> pieces;
        StringUtils::tokenize(line, pieces, "-");
        table.emplace_back(trim(pieces.empty() ? std::string() : pieces[0]),
                           std::vector<NWSCodeService::CountyAlertCode_t>());
        return;
    }
    if (table.empty()) {
        throwParseException(line, "No previous state line set.");
    }
    std::vector<std::string> pieces;
    StringUtils::tokenize(line, pieces, ",");
    if (pieces.size() != 2) {
        throwParseException(line, "Expected format is county, countyId.");
    }
    table.back().second.emplace_back(trim(pieces[0]), trim(pieces[1]));
}

void sortByName(NWSCodeService::CodeTable& table) {
    using State = NWSCodeService::CodeTable::value_type;
    using County = NWSCodeService::CountyAlertCode_t;
    std::sort(table.begin(), table.end(),
              [](const State& a, const State& b) { return a.first < b.first; });
    for (State& state : table) {
        std::sort(state.second.begin(), state.second.end(),
                  [](const County& a, const County& b) { return a.county < b.county; });
    }
}

// False when the file cannot be opened or is not well-formed XML.
bool readDocument(const std::string& path, QDomDocument& document) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) && document.setContent(&file);
}

}  // namespace

std::vector<std::string> NWSCodeFileParser::readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        throw cannotOpen(path);
    }
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::string::size_type start = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::vector<std::string> lines;
    while (start < content.size()) {
        std::string::size_type end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        std::string::size_type stop = end;
        if (stop > start && content[stop - 1] == '\r') {
            --stop;
        }
        std::string line(content, start, stop - start);
        // An editor may leave lines of blanks behind.
        if (!trim(line).empty()) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return lines;
}

NWSCodeService::CodeTable NWSCodeFileParser::parseCountyCodes(const std::string& path) {
    NWSCodeService::CodeTable table;
    for (const std::string& line : readLines(path)) {
        parseCountyCodeLine(line, table);
    }
    sortByName(table);
    return table;
}

std::map<std::string, NWSCodeService::LocationInfo_t> NWSCodeFileParser::parseLocations(
    const std::string& path) {
    std::map<std::string, NWSCodeService::LocationInfo_t> table;
    std::vector<std::string> pieces;
    for (const std::string& line : readLines(path)) {
        pieces.clear();
        StringUtils::tokenize(line, pieces, ",");
        if (pieces.size() != 4) {
            throw std::runtime_error("Error parsing line " + line +
                                     "\nExpecting zipcode, city, state abbrev, county name");
        }
        std::string zipCode = trim(pieces[0]);
        // The file is sorted by zip code, so the hint makes each insertion constant time.
        table.insert_or_assign(table.end(), zipCode,
                               NWSCodeService::LocationInfo_t(zipCode, trim(pieces[1]),
                                                              trim(pieces[2]), trim(pieces[3])));
    }
    return table;
}

NWSCodeService::StationList NWSCodeFileParser::parseStations(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        throw cannotOpen(path);
    }
    QDomDocument document;
    if (!document.setContent(&file)) {
        throw std::runtime_error("Could not set XML content from file " + path);
    }
    file.close();

    // Entries whose name starts with "<digits> - " are not observing stations.
    const QRegularExpression notAStation(QStringLiteral("\\A\\d* - "));
    NWSCodeService::StationList list;
    const QDomNodeList elements = document.elementsByTagName(QStringLiteral("station"));
    for (int i = 0; i < elements.size(); ++i) {
        const QDomElement element = elements.item(i).toElement();
        const QString name = element.firstChildElement(QStringLiteral("station_name")).text();
        if (notAStation.match(name).hasMatch()) {
            continue;
        }
        auto station = std::make_unique<NWSCodeService::Station_t>();
        station->name = name.trimmed().toStdString();
        station->id =
            element.firstChildElement(QStringLiteral("station_id")).text().trimmed().toStdString();
        station->position.first =
            element.firstChildElement(QStringLiteral("latitude")).text().toFloat();
        station->position.second =
            element.firstChildElement(QStringLiteral("longitude")).text().toFloat();
        list.push_back(std::move(station));
    }
    return list;
}

bool NWSCodeFileParser::parseRadarSites(const std::string& path, const std::string& stateName,
                                        RadarSites& sites) {
    QDomDocument document;
    if (!readDocument(path, document)) {
        document = QDomDocument();
    }
    const QDomNode group = XMLHelper::findNodeWhereAttributeEquals(
        document.documentElement(), QStringLiteral("optgroup"), QStringLiteral("label"),
        QString::fromStdString(stateName), false);
    if (group.isNull()) {
        return false;
    }
    for (QDomElement option = group.firstChildElement(); !option.isNull();
         option = option.nextSiblingElement()) {
        const std::string text = option.text().toStdString();
        std::vector<std::string> parts;
        StringUtils::split2(text, parts, " - ");
        if (parts.empty()) {
            // Without the separator the text cannot be told apart into id and name; a site
            // with half its data would give a location an empty radar.
            Logger::Instance().log(
                "ERROR", "NWSCodeService::localRadarStations - skipping radar option '" + text +
                             "' of state " + stateName + ": expected 'ID - Site name'");
            continue;
        }
        sites.emplace_back(trim(parts[0]), trim(parts[1]));
    }
    return true;
}

}  // namespace vpcore
