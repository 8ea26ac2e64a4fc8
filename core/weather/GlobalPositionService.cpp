#include "weather/GlobalPositionService.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <cstring>
#include <locale>
#include <sstream>
#include <vector>

#include "services/FileService.h"
#include "services/Logger.h"
#include "services/PlainFile.h"
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

// The whole content of an open file; false on a read error.
bool readAll(int fd, std::string& content) {
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof(buffer))) > 0) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return got == 0;
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
    const std::string path = cachePath();
    const int fd = PlainFile::openRegular(path.c_str(), O_RDONLY);
    if (fd < 0) {
        // No cache before the first lookup is the normal case.
        if (errno == ENOENT) {
            Logger::Instance().log("INFO", "No zip code coords cache yet at " + path);
        } else {
            Logger::Instance().log("ERROR", "Unable to read from zip code coords cache " + path +
                                                ": " + PlainFile::reasonOf(errno));
        }
        return nullptr;
    }
    std::string content;
    const bool read = readAll(fd, content);
    ::close(fd);
    if (!read) {
        Logger::Instance().log("ERROR", "Unable to read from zip code coords cache " + path);
        return nullptr;
    }
    SkippedLines skipped;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = content.find('\n', start);
        // A record is whole only with its line end: a last line without one is what a failed
        // or interrupted append left.
        const bool whole = end != std::string::npos;
        std::string line =
            StringUtils::trim(content.substr(start, whole ? end - start : std::string::npos));
        start = whole ? end + 1 : content.size();
        if (line.empty()) {
            continue;
        }
        if (!whole) {
            skipped.add(line);
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
    record << zipCode << ',' << position.first << ' ' << position.second << '\n';
    const std::string line = record.str();

    std::string problem;
    const int fd = PlainFile::openRegular(path.c_str(), O_RDWR | O_CREAT);
    if (fd < 0) {
        problem = PlainFile::reasonOf(errno);
    } else {
        // What an earlier append left unfinished is cut off: glued to this record, or ended by
        // it, it would read as a record of its own.
        std::string content;
        off_t length = 0;
        if (!readAll(fd, content)) {
            problem = std::strerror(errno);
        } else {
            const std::size_t lastEnd = content.find_last_of('\n');
            length = lastEnd == std::string::npos ? 0 : static_cast<off_t>(lastEnd + 1);
            if (static_cast<std::size_t>(length) != content.size() &&
                ::ftruncate(fd, length) != 0) {
                problem = std::strerror(errno);
            }
        }
        if (problem.empty() && (::lseek(fd, length, SEEK_SET) < 0 ||
                                !PlainFile::writeAll(fd, line.data(), line.size()))) {
            problem = std::strerror(errno);
            // A record written in part is taken back whole.
            [[maybe_unused]] const int cut = ::ftruncate(fd, length);
        }
        if (::close(fd) != 0 && problem.empty()) {
            problem = std::strerror(errno);
        }
    }
    if (problem.empty()) {
        return true;
    }
    error = path + ": " + problem;
    Logger::Instance().log("ERROR", "Unable to cache zip code coords to disk");
    return false;
}

}  // namespace vpcore
