// Turns the dew point into a named comfort level and publishes it as
// PROP_DEWPOINT_COMFORT_LEVEL; its static tables (names, descriptions, colours) also feed the
// comfort-level window. The handler runs on the notifying thread (the task runner).
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "services/IPropertyChangeListener.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT DewpointComfortLevel : public IPropertyChangeListener<float> {
public:
    // Listens to PROP_TEMP_F and PROP_DEWPOINT_F and registers PROP_DEWPOINT_COMFORT_LEVEL,
    // which throws std::invalid_argument while another instance's registration stands.
    DewpointComfortLevel();
    // A copy takes the last air temperature; it is not registered as a listener.
    DewpointComfortLevel(const DewpointComfortLevel& other);
    DewpointComfortLevel& operator=(const DewpointComfortLevel& other);
    ~DewpointComfortLevel() override;

    // PROP_TEMP_F is remembered; PROP_DEWPOINT_F publishes the level, "NA" unless the air
    // temperature heard last is 60 F or above.
    void handlePropertyChange(short propId, const float* const oldValue,
                              const float* const newValue) override;

    // The level of the dew point rounded half away from zero; never "NA" for a number, "NA"
    // for a dew point that is no number.
    static std::string comfortLevel(float dewpointF);
    // The ten level names, "NA" first, then from driest to most oppressive.
    static std::vector<std::string> comfortLevels();
    // Both throw std::invalid_argument ("<level> is invalid.") for an unknown level name.
    static std::string description(const std::string& level);
    // Red, green, blue, each 0 to 255.
    static std::tuple<int, int, int> colorCode(const std::string& level);

    // Air temperatures below this (degrees F) have no comfort level.
    static constexpr float MIN_AIR_TEMPERATURE_F = 60.0f;

private:
    float airTemperature;  // last air temperature heard, F; -999.9 until then
};

}  // namespace vpcore
