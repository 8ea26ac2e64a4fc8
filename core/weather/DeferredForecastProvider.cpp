#include "weather/DeferredForecastProvider.h"

#include "services/Logger.h"
#include "weather/ForecastProviderImpl.h"
#include "weather/GlobalPositionService.h"

namespace vpcore {

DeferredForecastProvider::DeferredForecastProvider(const std::string& zipCode) : zipCode(zipCode) {}

DeferredForecastProvider::~DeferredForecastProvider() = default;

bool DeferredForecastProvider::update(IWeatherModel* const model) {
    if (!forecast) {
        const auto position = GlobalPositionService::lookupPosition(zipCode);
        if (!position) {
            Logger::Instance().log(
                "WARN", "No forecast yet: the position of zip code " + zipCode + " is not known.");
            return false;
        }
        forecast = std::make_unique<ForecastProviderImpl>(*position);
    }
    return forecast->update(model);
}

}  // namespace vpcore
