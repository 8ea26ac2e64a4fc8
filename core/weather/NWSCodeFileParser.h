// Readers of the data files behind NWSCodeService: countyCodes.txt, zipcodes.csv, the station
// list NWS_Current_Conditions_Codes.xml and radar_ids.xml. Each reads one whole file into a
// table and keeps no state; NWSCodeService calls them under its load locks.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "services/VpCoreExport.h"
#include "weather/NWSCodeService.h"

namespace vpcore {

class VPCORE_EXPORT NWSCodeFileParser {
public:
    using RadarSites = std::vector<std::pair<std::string, std::string>>;

    // The whole file as lines; a UTF-8 byte order mark and line ends (LF or CRLF) are dropped,
    // and so are lines holding only white space. Throws std::runtime_error when it cannot be
    // opened.
    static std::vector<std::string> readLines(const std::string& path);

    // countyCodes.txt: "State ---" lines open a state block, "county, countyId" lines fill
    // it. States and their counties come back sorted by name. Throws std::runtime_error on
    // a line that fits neither form, or a county line before any state.
    static NWSCodeService::CodeTable parseCountyCodes(const std::string& path);

    // zipcodes.csv: "zip code, city, state abbreviation, county" per line, keyed by zip code;
    // a later line with the same zip code replaces the earlier one. Throws std::runtime_error
    // on a line without four fields.
    static std::map<std::string, NWSCodeService::LocationInfo_t> parseLocations(
        const std::string& path);

    // The observing stations of the station list in file order; entries named
    // "<digits> - ..." are not stations and are left out. Throws std::runtime_error when the
    // file cannot be read or parsed.
    static NWSCodeService::StationList parseStations(const std::string& path);

    // Appends the (radar id, site name) pairs of the group labelled stateName in radar_ids.xml;
    // an option without " - " between id and name is logged (ERROR) and skipped. False, with
    // nothing appended, when the file holds no such group (or cannot be read).
    static bool parseRadarSites(const std::string& path, const std::string& stateName,
                                RadarSites& sites);
};

}  // namespace vpcore
