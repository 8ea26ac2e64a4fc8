// One 12-hour forecast period as the forecast provider reads it from the feed and the forecast
// model hands it out. A plain record: copying it copies the icon, so every copy owns its own.
#pragma once

#include <QImage>
#include <memory>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

struct VPCORE_EXPORT ForecastItem_t {
    // Weather class of a period, derived from its worded forecast; picks the panel's sound.
    enum Condition_t {
        CONDITION_SUNNY = 0,
        CONDITION_NIGHT = 1,
        CONDITION_RAIN = 2,
        CONDITION_THUNDERSTORM = 3,
        CONDITION_WINDY = 4,
        CONDITION_SNOW = 5
    };

    ForecastItem_t();
    ForecastItem_t(const ForecastItem_t& other);
    ForecastItem_t& operator=(const ForecastItem_t& other);
    ~ForecastItem_t();

    std::string periodName;  // "Tonight", "Monday", ... as the feed names it
    // Null until set; after an update an image, which isNull() when it could not be had.
    std::unique_ptr<QImage> icon;
    std::string hiLoLabel;  // "Hi" or "Lo"
    int temperature = 0;    // degrees Fahrenheit
    std::string shortDesc;
    std::string longDesc;  // the worded forecast
    Condition_t condition = CONDITION_SUNNY;
};

}  // namespace vpcore
