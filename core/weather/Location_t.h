// A saved location: the codes that the providers of one place need, keyed by its display name.
// A plain record, copied freely; the location service and the retry handler hold copies.
#pragma once

#include <memory>
#include <string>
#include <utility>

namespace vpcore {

struct Location_t {
    std::string zipCode;      // key of the position lookup
    std::string alertCode;    // county or zone code of the alert feed
    std::string stationId;    // observation station of the current conditions
    std::string stationName;  // shown beside the station id
    std::string radarId;      // radar site filled into the radar image URL
    std::string radarName;    // label of that radar site
    std::string displayName;  // "City, ST"; the identity of the record
    // (latitude, longitude) in decimal degrees; null until known. Copies share the pair.
    std::shared_ptr<std::pair<float, float>> position;

    bool operator==(const Location_t& other) const { return displayName == other.displayName; }
    bool operator==(const std::string& name) const { return displayName == name; }
    bool operator<(const Location_t& other) const { return displayName < other.displayName; }
};

}  // namespace vpcore
