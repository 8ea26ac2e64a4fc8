// The inches-of-mercury face of the pressure gauge: hears PROP_PRESSURE_IN; the needle takes
// readings from 27.5 to 31.4 in tenths. Created by the main window, owned by the pressure
// gauge widget.
#pragma once

#include <memory>

#include "display/AbstractBarometerViewModel.h"
#include "display/GaugeViewModel.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT BarometerEngViewModel : public AbstractBarometerViewModel {
public:
    BarometerEngViewModel();
    ~BarometerEngViewModel() override;

    // 40 invisible ticks labelled "27.5" to "31.4".
    void constructView() override;
    const std::vector<TickDisplay*>* getTicks() const override;
    Vector3D getNeedleEndpoint() const override;
    // Empty: the scale is printed on the back plate.
    std::vector<std::string> getMajorTickDisplayValues() const override;
    // Stores the value; the needle takes it to one decimal.
    void setValue(float value) override;

protected:
    // Two decimals: "29.92".
    std::string readout(float value) const override;
    void resetNeedle() override;

private:
    std::unique_ptr<GaugeViewModel<float>> gaugeModel;  // null until constructView
};

}  // namespace vpcore
