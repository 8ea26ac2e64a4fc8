// Turns a US zip code into a position (latitude, longitude): from the CoordsCache.db text
// cache in the user data folder, else from the NWS forecast web service, whose answer is then
// appended to the cache. Called on the GUI thread (location page and location service).
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "services/VpCoreExport.h"

namespace vpcore {

// Static operations only; an instance holds nothing.
class VPCORE_EXPORT GlobalPositionService {
public:
    // (latitude, longitude) in degrees, or null (with an ERROR line) when neither the cache nor
    // the service knows the zip code. A zip code is digits, optionally with a "-".
    static std::unique_ptr<std::pair<float, float>> lookupPosition(const std::string& zipCode);
    // The same; cacheError names the cache file and the reason when a position found on the
    // network could not be appended to it (the position is returned all the same), and is
    // left empty otherwise.
    static std::unique_ptr<std::pair<float, float>> lookupPosition(const std::string& zipCode,
                                                                   std::string& cacheError);

private:
    // The cache file: the user data folder + "CoordsCache.db".
    static std::string cachePath();
    // The first well-formed line of the zip code; malformed lines, and a last line without its
    // line end, are skipped (WARN). No cache yet is no error (INFO); a cache that is no regular
    // file is not read (ERROR).
    static std::unique_ptr<std::pair<float, float>> loadFromDiskCache(const std::string& zipCode);
    // Appends "zip,latitude longitude" on a line of its own, after cutting off an unfinished
    // last line; false, with the file and the system's reason in error (also logged), when
    // the line did not reach the disk, which is then left at its old length.
    static bool saveToDiskCache(const std::string& zipCode, const std::pair<float, float>& position,
                                std::string& error);
};

}  // namespace vpcore
