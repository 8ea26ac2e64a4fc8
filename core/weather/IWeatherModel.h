// Base of the weather models (current conditions, forecast, alerts): each owns the one provider
// that refreshes it. The location service replaces the provider, with the scheduler stopped.
#pragma once

#include <memory>

#include "services/VpCoreExport.h"
#include "weather/IWeatherInfoProvider.h"

namespace vpcore {

class VPCORE_EXPORT IWeatherModel {
public:
    IWeatherModel();
    virtual ~IWeatherModel();

    // A provider has one owner: moving a model hands its provider over, copying is not allowed.
    IWeatherModel(const IWeatherModel&) = delete;
    IWeatherModel& operator=(const IWeatherModel&) = delete;
    IWeatherModel(IWeatherModel&& other) noexcept;
    IWeatherModel& operator=(IWeatherModel&& other) noexcept;

    // Takes ownership and deletes the previous provider; handing in the provider already held
    // keeps it (and does not delete it). An empty pointer leaves the model without a provider.
    void setProvider(std::unique_ptr<IWeatherInfoProvider> provider);
    // Throws std::logic_error when no provider is set.
    IWeatherInfoProvider& getProvider() const;
    // Null when no provider is set.
    const IWeatherInfoProvider* getProviderPtr() const { return provider.get(); }

private:
    std::unique_ptr<IWeatherInfoProvider> provider;
};

}  // namespace vpcore
