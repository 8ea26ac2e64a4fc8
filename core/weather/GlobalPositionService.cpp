#include "weather/GlobalPositionService.h"

#include <QString>
#include <fstream>
#include <locale>
#include <vector>

#include "services/FileService.h"
#include "services/Logger.h"
#include "services/StringUtils.h"
#include "weather/CoordsLookup.h"

namespace vpcore {

namespace {

// The zip code lands in a query string and in a comma-separated cache line.
bool isZipCode(const std::string& zipCode) {
    if (zipCode.empty()) {
        return false;
    }
    for (const char c : zipCode) {
        if ((c < '0' || c > '9') && c != '-') {
            return false;
        }
    }
    return true;
}

// True when the file exists, is not empty and its last byte is not a line end: a record
// appended to it would otherwise be glued to that unfinished line.
bool endsInsideALine(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in || !in.seekg(-1, std::ios::end)) {
        return false;
    }
    char last = '\n';
    in.get(last);
    return in && last != '\n';
}

}  // namespace

std::unique_ptr<std::pair<float, float>> GlobalPositionService::lookupPosition(
    const std::string& zipCode) {
    if (!isZipCode(zipCode)) {
        Logger::Instance().log("ERROR", "Not a zip code: \"" + zipCode + "\"");
        return nullptr;
    }
    std::unique_ptr<std::pair<float, float>> position = loadFromDiskCache(zipCode);
    if (position) {
        return position;
    }
    position = CoordsLookup(zipCode).getCoords();
    if (position) {
        saveToDiskCache(zipCode, *position);
    }
    return position;
}

std::string GlobalPositionService::cachePath() {
    std::string folder = FileService::Instance().getApplicationDataPath();
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder + "CoordsCache.db";
}

std::unique_ptr<std::pair<float, float>> GlobalPositionService::loadFromDiskCache(
    const std::string& zipCode) {
    std::ifstream in(cachePath());
    if (!in) {
        Logger::Instance().log("ERROR", "Unable to read from zip code coords cache");
        return nullptr;
    }
    std::string line;
    while (std::getline(in, line)) {
        line = StringUtils::trim(line);
        if (line.empty()) {
            continue;
        }
        std::vector<std::string> parts;
        StringUtils::split2(line, parts, ",");
        if (parts.size() != 2) {
            Logger::Instance().log("WARN",
                                   "Skipping malformed zip code coords cache line: " + line);
            continue;
        }
        if (parts[0] != zipCode) {
            continue;
        }
        std::vector<std::string> coords;
        StringUtils::split2(parts[1], coords, " ");
        std::unique_ptr<std::pair<float, float>> position;
        if (coords.size() == 2) {
            position = CoordsLookup::parsePosition(QString::fromStdString(coords[0]),
                                                   QString::fromStdString(coords[1]));
        }
        if (!position) {
            Logger::Instance().log("WARN",
                                   "Skipping malformed zip code coords cache line: " + line);
            continue;
        }
        Logger::Instance().log(
            "INFO", "Zip code coords loaded from cache - " + coords[0] + "," + coords[1]);
        return position;
    }
    return nullptr;
}

void GlobalPositionService::saveToDiskCache(const std::string& zipCode,
                                            const std::pair<float, float>& position) {
    const std::string path = cachePath();
    const bool needsLineEnd = endsInsideALine(path);
    std::ofstream out(path, std::ios::app);
    if (!out) {
        Logger::Instance().log("ERROR", "Unable to cache zip code coords to disk");
        return;
    }
    // A decimal comma would break the line's format.
    out.imbue(std::locale::classic());
    if (needsLineEnd) {
        out << '\n';
    }
    out << zipCode << ',' << position.first << ' ' << position.second << '\n';
    out.flush();
    if (!out) {
        Logger::Instance().log("ERROR", "Unable to cache zip code coords to disk");
    }
}

}  // namespace vpcore
