#include "weather/NWSCodeService.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "services/FileService.h"
#include "services/Logger.h"
#include "services/StringUtils.h"
#include "weather/NWSCodeFileParser.h"
#include "weather/UnsupportedStateException.h"

namespace vpcore {

namespace {

using StringUtils::toLower;

int findExact(const std::string& name, const std::vector<NWSCodeService::CountyAlertCode_t>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].county == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int findNoCase(const std::string& name,
               const std::vector<NWSCodeService::CountyAlertCode_t>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (StringUtils::compareNoCase(list[i].county, name) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const float kPi = 3.1415927f;
const float kEarthRadiusKm = 6371.0f;
const float kKmPerMile = 1.609344f;

float toRadians(float degrees) {
    return degrees * kPi / 180.0f;
}

}  // namespace

NWSCodeService::Station_t::Station_t() : position(0.0f, 0.0f) {}

NWSCodeService::LocationInfo_t::LocationInfo_t(const std::string& zipCode, const std::string& city,
                                               const std::string& stateAbbrev,
                                               const std::string& countyName)
    : zipCode(zipCode), city(city), stateAbbrev(stateAbbrev), countyName(countyName) {}

NWSCodeService::CountyAlertCode_t::CountyAlertCode_t(const std::string& county,
                                                     const std::string& countyId)
    : county(county), countyId(countyId) {}

NWSCodeService::NWSCodeService() = default;

NWSCodeService::~NWSCodeService() = default;

NWSCodeService& NWSCodeService::Instance() {
    static NWSCodeService instance;
    return instance;
}

void NWSCodeService::setBasePath(const std::string& path) {
    basePath = path;
}

std::string NWSCodeService::buildResourcePath(const std::string& fileName) const {
    return basePath + "/" + fileName;
}

const std::map<std::string, std::string>& NWSCodeService::getStateAbbrevMap() {
    static const std::map<std::string, std::string> states = {
        {"ak", "Alaska"},
        {"al", "Alabama"},
        {"ar", "Arkansas"},
        {"as", "American Samoa"},
        {"az", "Arizona"},
        {"ca", "California"},
        {"co", "Colorado"},
        {"ct", "Connecticut"},
        {"de", "Delaware"},
        {"dc", "District of Columbia"},
        {"fm", "Federated States of Micronesia"},
        {"fl", "Florida"},
        {"ga", "Georgia"},
        {"gu", "Guam"},
        {"hi", "Hawaii"},
        {"ia", "Iowa"},
        {"id", "Idaho"},
        {"il", "Illinois"},
        {"in", "Indiana"},
        {"ks", "Kansas"},
        {"ky", "Kentucky"},
        {"la", "Louisiana"},
        {"mh", "Marshall Islands"},
        {"ma", "Massachusetts"},
        {"md", "Maryland"},
        {"me", "Maine"},
        {"mi", "Michigan"},
        {"mn", "Minnesota"},
        {"mo", "Missouri"},
        {"ms", "Mississippi"},
        {"mt", "Montana"},
        {"nc", "North Carolina"},
        {"nd", "North Dakota"},
        {"ne", "Nebraska"},
        {"nh", "New Hampshire"},
        {"nj", "New Jersey"},
        {"nm", "New Mexico"},
        {"nv", "Nevada"},
        {"ny", "New York"},
        {"oh", "Ohio"},
        {"ok", "Oklahoma"},
        {"or", "Oregon"},
        {"pw", "Palau"},
        {"pa", "Pennsylvania"},
        {"pr", "Puerto Rico"},
        {"ri", "Rhode Island"},
        {"sc", "South Carolina"},
        {"sd", "South Dakota"},
        {"tn", "Tennessee"},
        {"tx", "Texas"},
        {"ut", "Utah"},
        {"va", "Virginia"},
        {"vi", "Virgin Islands"},
        {"vt", "Vermont"},
        {"wa", "Washington"},
        {"wi", "Wisconsin"},
        {"wv", "West Virginia"},
        {"wy", "Wyoming"},
    };
    return states;
}

void NWSCodeService::loadOnce(std::atomic<bool>& loaded, std::mutex& mutex,
                              const std::function<bool()>& load) {
    if (loaded.load(std::memory_order_acquire)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    // Another thread may have loaded the table while this one waited for the lock.
    if (loaded.load(std::memory_order_relaxed)) {
        return;
    }
    loaded.store(load(), std::memory_order_release);
}

// --- countyCodes.txt ---------------------------------------------------------------------

void NWSCodeService::ensureCodesLoaded() {
    loadOnce(codesLoaded, codesMutex, [this] {
        loadCodes();
        return !codes.empty();
    });
}

void NWSCodeService::loadCodes() {
    if (!codes.empty()) {
        Logger::Instance().log("WARN", "NWSCodeService::loadCodes Codes are already loaded!");
        return;
    }
    Logger::Instance().log("INFO", "NWSCodeService::loadCodes begin ...");
    // Built aside and put in place only when the whole file parsed, so that a bad line
    // never leaves half a table behind.
    CodeTable table = NWSCodeFileParser::parseCountyCodes(buildResourcePath("countyCodes.txt"));
    codes.swap(table);
    Logger::Instance().log("INFO", "NWSCodeService::loadCodes end ...");
}

const std::vector<NWSCodeService::CountyAlertCode_t>& NWSCodeService::getStateAlertCodes(
    const std::string& stateAbbrev) {
    ensureCodesLoaded();
    const std::map<std::string, std::string>& states = getStateAbbrevMap();
    const auto state = states.find(toLower(stateAbbrev));
    if (state == states.end()) {
        throw UnsupportedStateException("Unrecognized state abbreviation " + stateAbbrev);
    }
    for (const CodeTable::value_type& entry : codes) {
        if (entry.first == state->second) {
            return entry.second;
        }
    }
    throw UnsupportedStateException("Unrecognized state " + state->second);
}

int NWSCodeService::indexOf(const std::string& countyName,
                            const std::vector<CountyAlertCode_t>& counties) {
    static const std::vector<std::pair<std::string, std::string>> prefixes = {
        {"Saint", "St."},
        {"St", "St."},
    };
    static const std::map<std::string, std::string> names = {
        {"Bristol", "City of Bristol"},
        {"Dewitt", "De Witt"},
        {"DeKalb", "De Kalb"},
        {"Leflore", "Le Flore"},
        {"Matanuska Susitna", "Matanuska-Susitna"},
        {"Monroe", "Lower Keys in Monroe"},
        {"Obrien", "O'Brien"},
        {"Queen Annes", "Queen Anne's"},
        {"Sainte Genevieve", "Ste. Genevieve"},
        {"Salem", "City of Salem"},
        {"Valdez Cordova", "Valdez-Cordova"},
        {"Yukon Koyukuk", "Yukon-Koyukuk"},
        {"Metcalfe", "Metcalf"},
    };

    int found = findExact(countyName, counties);
    if (found >= 0) {
        return found;
    }
    found = findNoCase(countyName, counties);
    if (found >= 0) {
        return found;
    }

    const std::string::size_type city = countyName.find(" City");
    if (city != std::string::npos) {
        std::string name = countyName;
        name.erase(city, 5);
        found = findExact("City of " + name, counties);
        if (found >= 0) {
            return found;
        }
    }

    std::string prefixed = countyName;
    for (const auto& prefix : prefixes) {
        if (prefixed.compare(0, prefix.first.size(), prefix.first) == 0) {
            prefixed.replace(0, prefix.first.size(), prefix.second);
            break;
        }
    }
    found = findExact(prefixed, counties);
    if (found >= 0) {
        return found;
    }
    found = findNoCase(prefixed, counties);
    if (found >= 0) {
        return found;
    }

    const std::string::size_type blank = countyName.find(' ');
    if (blank != std::string::npos) {
        std::string joined = countyName;
        joined.erase(blank, 1);
        found = findNoCase(joined, counties);
        if (found >= 0) {
            return found;
        }
    }

    const auto name = names.find(countyName);
    if (name != names.end()) {
        return findExact(name->second, counties);
    }
    return -1;
}

// --- zipcodes.csv ------------------------------------------------------------------------

void NWSCodeService::ensureLocationsLoaded() {
    loadOnce(locationsLoaded, locationsMutex, [this] {
        loadLocations();
        return !locations.empty();
    });
}

void NWSCodeService::loadLocations() {
    std::map<std::string, LocationInfo_t> table =
        NWSCodeFileParser::parseLocations(buildResourcePath("zipcodes.csv"));
    locations.swap(table);
}

std::unique_ptr<NWSCodeService::LocationInfo_t> NWSCodeService::getLocationInfo(
    const std::string& zipCode) {
    ensureLocationsLoaded();
    const auto found = locations.find(zipCode);
    if (found == locations.end()) {
        return nullptr;
    }
    return std::make_unique<LocationInfo_t>(found->second);
}

// --- NWS_Current_Conditions_Codes.xml ----------------------------------------------------

void NWSCodeService::ensureStationsLoaded() {
    loadOnce(stationsLoaded, stationsMutex, [this] {
        loadStations();
        return !stations.empty();
    });
}

void NWSCodeService::loadStations() {
    Logger::Instance().log("INFO", "NWSCodeService::loadStations begin ...");
    if (!stations.empty()) {
        Logger::Instance().log("WARN", "NWSCodeService::loadStations stations are already loaded!");
        return;
    }
    StationList list =
        NWSCodeFileParser::parseStations(buildResourcePath("NWS_Current_Conditions_Codes.xml"));
    std::vector<StationRadians> radians;
    radians.reserve(list.size());
    for (const auto& station : list) {
        const float latitude = toRadians(station->position.first);
        radians.push_back({latitude, toRadians(station->position.second), std::cos(latitude)});
    }
    stations.swap(list);
    stationRadians.swap(radians);
    Logger::Instance().log("INFO", std::to_string(stations.size()) + " stations loaded.");
    Logger::Instance().log("INFO", "NWSCodeService::loadStations end ...");
}

const NWSCodeService::Station_t& NWSCodeService::getClosestStation(
    const std::pair<float, float>& position, float& distance) {
    std::vector<Station_t*> closest;
    std::vector<float> distances;
    doGetClosestStations(position, 1, closest, distances);
    if (closest.empty()) {
        // Only an empty station file, or a position that is not a number, gets here.
        std::ostringstream message;
        message << "No observation station near " << position.first << ", " << position.second
                << " in " << buildResourcePath("NWS_Current_Conditions_Codes.xml");
        throw std::runtime_error(message.str());
    }
    distance = distances.front();
    return *closest.front();
}

void NWSCodeService::getClosestStations(const std::pair<float, float>& position, int count,
                                        std::vector<Station_t*>& closest,
                                        std::vector<float>& distances) {
    doGetClosestStations(position, count, closest, distances);
}

void NWSCodeService::doGetClosestStations(const std::pair<float, float>& position, int count,
                                          std::vector<Station_t*>& closest,
                                          std::vector<float>& distances) {
    ensureStationsLoaded();

    // The nearest `wanted` distinct distances in ascending order, each with the first
    // station in file order that has it: a station whose distance equals, as a float, that of
    // an earlier one is never returned. Kept in a small sorted array instead of a set of all
    // stations, which gives the same result.
    const std::size_t wanted = static_cast<std::size_t>(std::max(count, 1));
    std::vector<std::pair<float, std::size_t>> best;
    best.reserve(wanted + 1);

    const float latitude1 = toRadians(position.first);
    const float longitude1 = toRadians(position.second);
    const float cosLatitude1 = std::cos(latitude1);
    for (std::size_t i = 0; i < stations.size(); ++i) {
        float distance = 0.0f;
        if (stations[i]->position != position) {
            const StationRadians& station = stationRadians[i];
            const float sinHalfLat = std::sin((station.latitude - latitude1) / 2.0f);
            const float sinHalfLon = std::sin((station.longitude - longitude1) / 2.0f);
            float a = sinHalfLat * sinHalfLat +
                      cosLatitude1 * station.cosLatitude * sinHalfLon * sinHalfLon;
            // Rounding can push a past 1 for nearly opposite points; the root of a
            // negative number would make the distance not a number.
            a = std::min(a, 1.0f);
            const float c = 2.0f * std::atan2(std::sqrt(a), std::sqrt(1.0f - a));
            distance = kEarthRadiusKm * c / kKmPerMile;
        }
        if (std::isnan(distance) || (best.size() == wanted && distance >= best.back().first)) {
            continue;
        }
        const auto at = std::lower_bound(
            best.begin(), best.end(), distance,
            [](const std::pair<float, std::size_t>& entry, float d) { return entry.first < d; });
        if (at != best.end() && at->first == distance) {
            continue;
        }
        best.insert(at, std::make_pair(distance, i));
        if (best.size() > wanted) {
            best.pop_back();
        }
    }

    closest.reserve(closest.size() + best.size());
    distances.reserve(distances.size() + best.size());
    for (const auto& entry : best) {
        closest.push_back(stations[entry.second].get());
        distances.push_back(entry.first);
    }
}

// --- radar_ids.xml -----------------------------------------------------------------------

void NWSCodeService::localRadarStations(const std::string& stateAbbrev,
                                        std::vector<std::pair<std::string, std::string>>& sites) {
    const std::string abbrev = toLower(stateAbbrev);
    const std::map<std::string, std::string>& states = getStateAbbrevMap();
    const auto state = states.find(abbrev);
    if (state == states.end()) {
        Logger::Instance().log(
            "ERROR", "NWSCodeService::localRadarStations - could not find state abbrev " + abbrev);
        return;
    }
    const std::string path = FileService::Instance().getInstallPath() + "/resources/radar_ids.xml";
    if (!NWSCodeFileParser::parseRadarSites(path, state->second, sites)) {
        Logger::Instance().log(
            "ERROR", "NWSCodeService::localRadarStations - could not find state node for state " +
                         state->second);
    }
}

}  // namespace vpcore
