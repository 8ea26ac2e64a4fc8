#include "display/DewpointComfortLevel.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

namespace vpcore {

namespace {

struct Level_t {
    const char* name;
    const char* description;
    int red;
    int green;
    int blue;
};

// In the order of comfortLevels(); the bounds of each level are in comfortLevel().
const Level_t LEVELS[] = {
    {"NA", "Dewpoint comfort level is only applicable for\ntemperatures 60\u00B0 F and above.", 100,
     100, 100},
    {"Very dry", "Very dry. Nose bleeds and cracked skin\ncan occur in some people.", 119, 76, 76},
    {"Dry", "A bit dry for some.", 149, 106, 106},
    {"Very comfortable", "Very comfortable", 25, 25, 255},
    {"Comfortable", "Comfortable", 25, 25, 112},
    {"Slightly uncomfortable", "Ok for most,\nbut some will feel a little uncomfortable.", 255, 145,
     0},
    {"Somewhat uncomfortable", "Somewhat uncomfortable for most people", 255, 117, 0},
    {"Oppressive", "Very humid and uncomfortable", 255, 89, 0},
    {"Extremely oppressive",
     "Extremely uncomfortable and possibly dangerous\nfor the elderly or people having certain "
     "illnesses.",
     255, 59, 0},
    {"Dangerously oppressive",
     "Severely high and even deadly for people having\ncertain illnesses like asthma.", 255, 0, 0},
};

const Level_t& findLevel(const std::string& name) {
    for (const Level_t& level : LEVELS) {
        if (name == level.name) {
            return level;
        }
    }
    throw std::invalid_argument(name + " is invalid.");
}

}  // namespace

DewpointComfortLevel::DewpointComfortLevel() : airTemperature(-999.9f) {
    // Registering first: if it throws, no listener is left behind pointing at this object.
    NotificationService& service = NotificationService::Instance();
    service.registerPropertyIds({PROP_DEWPOINT_COMFORT_LEVEL});
    service.addPropertyChangeListener<float>(this, {PROP_DEWPOINT_F, PROP_TEMP_F});
}

DewpointComfortLevel::DewpointComfortLevel(const DewpointComfortLevel& other)
    : IPropertyChangeListener<float>(other), airTemperature(other.airTemperature) {}

DewpointComfortLevel& DewpointComfortLevel::operator=(const DewpointComfortLevel& other) {
    airTemperature = other.airTemperature;
    return *this;
}

DewpointComfortLevel::~DewpointComfortLevel() {
    NotificationService::Instance().removePropertyChangeListener<float>(
        this, {PROP_DEWPOINT_F, PROP_TEMP_F});
}

void DewpointComfortLevel::handlePropertyChange(short propId, const float* const,
                                                const float* const newValue) {
    if (propId == PROP_TEMP_F) {
        airTemperature = *newValue;
    } else if (propId == PROP_DEWPOINT_F) {
        // Written so that an air temperature that is no number also gives "NA".
        const std::string level = airTemperature >= MIN_AIR_TEMPERATURE_F
                                      ? comfortLevel(*newValue)
                                      : std::string(LEVELS[0].name);
        const std::string none;
        NotificationService::Instance().notify<std::string>(PROP_DEWPOINT_COMFORT_LEVEL, &none,
                                                            &level);
    }
}

std::string DewpointComfortLevel::comfortLevel(float dewpointF) {
    const float rounded = std::round(dewpointF);
    std::ostringstream message;
    message << "DewpointComfortLevel::comfortLevel " << dewpointF << " rounded value: " << rounded;
    Logger::Instance().log("INFO", message.str());

    if (std::isnan(rounded)) {
        return LEVELS[0].name;
    }
    const float upperBounds[] = {29, 49, 54, 59, 64, 69, 74, 80};
    std::size_t index = 1;
    for (float bound : upperBounds) {
        if (rounded <= bound) {
            return LEVELS[index].name;
        }
        ++index;
    }
    return LEVELS[index].name;
}

std::vector<std::string> DewpointComfortLevel::comfortLevels() {
    std::vector<std::string> names;
    for (const Level_t& level : LEVELS) {
        names.emplace_back(level.name);
    }
    return names;
}

std::string DewpointComfortLevel::description(const std::string& level) {
    return findLevel(level).description;
}

std::tuple<int, int, int> DewpointComfortLevel::colorCode(const std::string& level) {
    const Level_t& found = findLevel(level);
    return std::make_tuple(found.red, found.green, found.blue);
}

}  // namespace vpcore
