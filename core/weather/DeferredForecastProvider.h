// The forecast of a location whose position was not known when it became current (no network
// at start and the zip code not in the coordinates cache). Each update first looks the
// position up; once it is found, the point forecast of that position fills the model, and the
// position is kept for the updates that follow. Until then an update fails, so the scheduler
// tries the forecast again after its retry time. Updates run on the scheduler's runner thread.
#pragma once

#include <memory>
#include <string>

#include "services/VpCoreExport.h"
#include "weather/IWeatherInfoProvider.h"

namespace vpcore {

class ForecastProviderImpl;

class VPCORE_EXPORT DeferredForecastProvider : public IWeatherInfoProvider {
public:
    explicit DeferredForecastProvider(const std::string& zipCode);
    ~DeferredForecastProvider() override;

    // False, with nothing changed in the model, while the position is still unknown.
    bool update(IWeatherModel* const model) override;

private:
    const std::string zipCode;
    std::unique_ptr<ForecastProviderImpl> forecast;  // null until the position is known
};

}  // namespace vpcore
