// What a weather model asks to refresh itself: a provider fetches its feed and writes the
// values into the model it is given. Called on the scheduler's runner thread; the owning model
// destroys its provider through this interface.
#pragma once

#include "services/VpCoreExport.h"

namespace vpcore {

class IWeatherModel;

class VPCORE_EXPORT IWeatherInfoProvider {
public:
    // True when the model was updated.
    virtual bool update(IWeatherModel* const model) = 0;
    virtual ~IWeatherInfoProvider() = default;
};

}  // namespace vpcore
