#include "weather/IWeatherModel.h"

#include <stdexcept>

namespace vpcore {

IWeatherModel::IWeatherModel() = default;

IWeatherModel::~IWeatherModel() = default;

IWeatherModel::IWeatherModel(IWeatherModel&& other) noexcept = default;

IWeatherModel& IWeatherModel::operator=(IWeatherModel&& other) noexcept = default;

void IWeatherModel::setProvider(std::unique_ptr<IWeatherInfoProvider> newProvider) {
    if (newProvider && newProvider.get() == provider.get()) {
        // The caller handed back the provider this model owns; a second owner must not delete it.
        newProvider.release();
        return;
    }
    provider = std::move(newProvider);
}

IWeatherInfoProvider& IWeatherModel::getProvider() const {
    if (!provider) {
        throw std::logic_error("No weather info provider has been set.");
    }
    return *provider;
}

}  // namespace vpcore
