// The Fahrenheit face of the air-temperature gauge: hears PROP_TEMP_F; created by the main window,
// owned by the temperature gauge widget.
#pragma once

#include "display/AbstractTemperatureViewModel.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT TempEngViewModel : public AbstractTemperatureViewModel {
public:
    TempEngViewModel();
};

}  // namespace vpcore
