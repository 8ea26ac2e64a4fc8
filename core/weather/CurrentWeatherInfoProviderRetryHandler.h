// The policy a current-conditions provider asks for other stations to try when the station of
// its location gives no usable observation. Used on the scheduler's runner thread.
#pragma once

#include <string>

#include "services/VpCoreExport.h"
#include "weather/Location_t.h"

namespace vpcore {

class VPCORE_EXPORT CurrentWeatherInfoProviderRetryHandler {
public:
    // location is not owned; it must outlive the handler (the location service replaces both
    // together, with the scheduler stopped).
    explicit CurrentWeatherInfoProviderRetryHandler(const Location_t* location);
    virtual ~CurrentWeatherInfoProviderRetryHandler();

    CurrentWeatherInfoProviderRetryHandler(const CurrentWeatherInfoProviderRetryHandler&) = delete;
    CurrentWeatherInfoProviderRetryHandler& operator=(
        const CurrentWeatherInfoProviderRetryHandler&) = delete;

    virtual bool hasMoreRetries() = 0;
    virtual std::string nextStationId() = 0;

    // The next station to try; call only after hasMoreRetries() returned true.
    std::string nextRetry() { return nextStationId(); }

protected:
    const Location_t* location;
};

}  // namespace vpcore
