#include "weather/GlobalPositionService.h"

#include <QFile>
#include <QString>
#include <fstream>
#include <locale>
#include <sstream>
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

// The malformed lines of one cache read: the first few are quoted, the rest only counted, so
// a cache full of garbage cannot flood the log.
class SkippedLines {
public:
    SkippedLines() = default;
    SkippedLines(const SkippedLines&) = delete;
    SkippedLines& operator=(const SkippedLines&) = delete;
    ~SkippedLines() {
        if (count > kQuoted) {
            Logger::Instance().log("WARN", "Skipped " + std::to_string(count - kQuoted) +
                                               " more malformed zip code coords cache lines");
        }
    }

    void add(const std::string& line) {
        if (++count <= kQuoted) {
            Logger::Instance().log("WARN", "Skipping malformed zip code coords cache line: " +
                                               StringUtils::quotedPrefix(line));
        }
    }

private:
    static constexpr int kQuoted = 10;
    int count = 0;
};

}  // namespace

std::unique_ptr<std::pair<float, float>> GlobalPositionService::lookupPosition(
    const std::string& zipCode) {
    std::string cacheError;
    return lookupPosition(zipCode, cacheError);
}

std::unique_ptr<std::pair<float, float>> GlobalPositionService::lookupPosition(
    const std::string& zipCode, std::string& cacheError) {
    cacheError.clear();
    if (!isZipCode(zipCode)) {
        Logger::Instance().log("ERROR",
                               "Not a zip code: \"" + StringUtils::quotedPrefix(zipCode) + "\"");
        return nullptr;
    }
    std::unique_ptr<std::pair<float, float>> position = loadFromDiskCache(zipCode);
    if (position) {
        return position;
    }
    position = CoordsLookup(zipCode).getCoords();
    // The cache only saves a request next time: a failed append does not fail the lookup.
    if (position) {
        saveToDiskCache(zipCode, *position, cacheError);
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
    SkippedLines skipped;
    std::string line;
    while (std::getline(in, line)) {
        line = StringUtils::trim(line);
        if (line.empty()) {
            continue;
        }
        std::vector<std::string> parts;
        StringUtils::split2(line, parts, ",");
        if (parts.size() != 2) {
            skipped.add(line);
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
            skipped.add(line);
            continue;
        }
        Logger::Instance().log(
            "INFO", "Zip code coords loaded from cache - " + coords[0] + "," + coords[1]);
        return position;
    }
    return nullptr;
}

bool GlobalPositionService::saveToDiskCache(const std::string& zipCode,
                                            const std::pair<float, float>& position,
                                            std::string& error) {
    const std::string path = cachePath();
    std::ostringstream record;
    // A decimal comma would break the line's format.
    record.imbue(std::locale::classic());
    if (endsInsideALine(path)) {
        record << '\n';
    }
    record << zipCode << ',' << position.first << ' ' << position.second << '\n';
    const QByteArray bytes = QByteArray::fromStdString(record.str());

    QFile file(QString::fromStdString(path));
    // write() only fills Qt's buffer; a full disk shows at flush (or at close).
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Append) &&
                         file.write(bytes) == bytes.size() && file.flush();
    const QString reason = file.errorString();
    file.close();
    if (written && file.error() == QFileDevice::NoError) {
        return true;
    }
    error = path + ": " + (written ? file.errorString() : reason).toStdString();
    Logger::Instance().log("ERROR", "Unable to cache zip code coords to disk");
    return false;
}

}  // namespace vpcore
