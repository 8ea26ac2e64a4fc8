// The Celsius face of the air-temperature gauge: hears PROP_TEMP_C; created by the main window,
// owned by the temperature gauge widget.
#pragma once

#include "display/AbstractTemperatureViewModel.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT TempMetricViewModel : public AbstractTemperatureViewModel {
public:
    TempMetricViewModel();
};

}  // namespace vpcore
