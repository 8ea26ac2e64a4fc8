#include "weather/CurrentWeatherInfoProviderRetryHandler.h"

namespace vpcore {

CurrentWeatherInfoProviderRetryHandler::CurrentWeatherInfoProviderRetryHandler(
    const Location_t* location)
    : location(location) {}

CurrentWeatherInfoProviderRetryHandler::~CurrentWeatherInfoProviderRetryHandler() = default;

}  // namespace vpcore
