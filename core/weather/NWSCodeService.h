// The process-wide NWS code tables: zip code to place, county alert codes per state,
// observation stations with their positions and radar sites per state, each read from the
// data files on first use and kept. Called from the GUI thread (location page) and the task
// runner (station retry); the first load of each table is serialised, later reads take no lock.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT NWSCodeService {
public:
    struct VPCORE_EXPORT Station_t {
        Station_t();

        std::string id;  // used in the observation URL
        std::string name;
        std::pair<float, float> position;  // latitude, longitude in degrees
    };

    struct VPCORE_EXPORT LocationInfo_t {
        LocationInfo_t(const std::string& zipCode, const std::string& city,
                       const std::string& stateAbbrev, const std::string& countyName);

        std::string zipCode;
        std::string city;
        std::string stateAbbrev;  // two letters as written in zipcodes.csv
        std::string countyName;
    };

    struct VPCORE_EXPORT CountyAlertCode_t {
        CountyAlertCode_t(const std::string& county, const std::string& countyId);

        std::string county;
        std::string countyId;  // the county's alert code, e.g. "TXC453"
    };

    // One entry per state block of countyCodes.txt: full state name and its counties.
    using CodeTable = std::vector<std::pair<std::string, std::vector<CountyAlertCode_t>>>;
    using StationList = std::vector<std::unique_ptr<Station_t>>;

    static NWSCodeService& Instance();

    NWSCodeService(const NWSCodeService&) = delete;
    NWSCodeService& operator=(const NWSCodeService&) = delete;

    // The folder of zipcodes.csv, countyCodes.txt and the station file; set before the
    // first lookup.
    void setBasePath(const std::string& path);

    // A copy of the zip code's record (exact match), null when the zip code is unknown.
    // Throws std::exception when zipcodes.csv cannot be read.
    std::unique_ptr<LocationInfo_t> getLocationInfo(const std::string& zipCode);

    // The state's counties sorted by name; the abbreviation may be in any case. Throws
    // UnsupportedStateException for an unknown abbreviation or a state without a block, and
    // std::exception when countyCodes.txt cannot be read.
    const std::vector<CountyAlertCode_t>& getStateAlertCodes(const std::string& stateAbbrev);

    // Position of a county named as in zipcodes.csv in a list from getStateAlertCodes,
    // tolerating the usual differences of spelling; -1 when none matches.
    static int indexOf(const std::string& countyName,
                       const std::vector<CountyAlertCode_t>& counties);

    // The closest station to (latitude, longitude) and its distance in miles. Throws
    // std::exception when the station file cannot be read or holds no station.
    const Station_t& getClosestStation(const std::pair<float, float>& position, float& distance);

    // Appends up to count stations (at least one) with their distances in miles, closest first.
    // The pointers stay valid for the life of the process.
    void getClosestStations(const std::pair<float, float>& position, int count,
                            std::vector<Station_t*>& stations, std::vector<float>& distances);

    // Appends the state's (radar id, site name) pairs from radar_ids.xml in the install folder;
    // logs an ERROR line and appends nothing when the state is unknown or has no group.
    static void localRadarStations(const std::string& stateAbbrev,
                                   std::vector<std::pair<std::string, std::string>>& sites);

    // The tables as they are now, without loading.
    const StationList& getStationIds() const { return stations; }
    const CodeTable& getCodes() const { return codes; }

private:
    friend class NWSCodeServiceTestAccess;

    // A station's coordinates in radians, kept beside the records so that a search does not
    // convert every station again.
    struct StationRadians {
        float latitude;
        float longitude;
        float cosLatitude;
    };

    NWSCodeService();
    ~NWSCodeService();

    std::string buildResourcePath(const std::string& fileName) const;

    // Runs load (which fills a table and says whether it holds anything) until a load has
    // filled the table; concurrent first callers wait for one load instead of running two.
    static void loadOnce(std::atomic<bool>& loaded, std::mutex& mutex,
                         const std::function<bool()>& load);
    void ensureCodesLoaded();
    void ensureStationsLoaded();
    void ensureLocationsLoaded();
    void loadCodes();
    void loadStations();
    void loadLocations();
    static const std::map<std::string, std::string>& getStateAbbrevMap();

    void doGetClosestStations(const std::pair<float, float>& position, int count,
                              std::vector<Station_t*>& stations, std::vector<float>& distances);

    // Each table is filled once, completely, under its mutex; the flag then lets readers
    // through without the lock. A load that fails leaves its table empty.
    CodeTable codes;
    StationList stations;
    std::vector<StationRadians> stationRadians;
    std::string basePath;
    std::map<std::string, LocationInfo_t> locations;

    std::mutex codesMutex;
    std::mutex stationsMutex;
    std::mutex locationsMutex;
    std::atomic<bool> codesLoaded{false};
    std::atomic<bool> stationsLoaded{false};
    std::atomic<bool> locationsLoaded{false};
};

}  // namespace vpcore
