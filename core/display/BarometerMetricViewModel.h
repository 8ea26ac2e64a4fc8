// The millibar face of the pressure gauge: hears PROP_PRESSURE_MB; the needle takes even
// readings from 940 to 1060. Created by the main window, owned by the pressure gauge widget.
#pragma once

#include <optional>

#include <memory>

#include "display/AbstractBarometerViewModel.h"
#include "display/GaugeViewModel.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT BarometerMetricViewModel : public AbstractBarometerViewModel {
public:
    BarometerMetricViewModel();
    ~BarometerMetricViewModel() override;

    // 61 invisible ticks from 940 to 1060 every 2, then a gap of 10.
    void constructView() override;
    const std::vector<TickDisplay*>* getTicks() const override;
    Vector3D getNeedleEndpoint() const override;
    // "940", "950", ... "1060".
    std::vector<std::string> getMajorTickDisplayValues() const override;
    // Stores the value; the needle takes the nearest whole number, an odd one made even
    // upwards (1013 -> 1014).
    void setValue(float value) override;

    // The needle's millibars for a value; none for no reading (NaN) or one beyond int.
    static std::optional<int> needleMillibars(float value);

protected:
    // The nearest whole number: "1013"; "NA" for no reading.
    std::string readout(float value) const override;
    void resetNeedle() override;

private:
    std::unique_ptr<GaugeViewModel<int>> gaugeModel;  // null until constructView
};

}  // namespace vpcore
