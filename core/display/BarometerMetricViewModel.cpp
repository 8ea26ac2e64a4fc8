#include "display/BarometerMetricViewModel.h"

#include <climits>

#include "display/NumericScaleViewModelHelper.h"
#include "services/Converter.h"

namespace vpcore {

BarometerMetricViewModel::BarometerMetricViewModel()
    : AbstractBarometerViewModel(PROP_PRESSURE_MB, " mb ") {}

BarometerMetricViewModel::~BarometerMetricViewModel() = default;

void BarometerMetricViewModel::constructView() {
    std::vector<std::unique_ptr<MajorTickDisplay>> labelled;
    std::vector<MajorTickDisplay*> ticks;
    for (const std::string& label : getMajorTickDisplayValues()) {
        labelled.push_back(std::make_unique<MajorTickDisplay>(label));
        labelled.back()->visible = false;
        ticks.push_back(labelled.back().get());
    }
    gaugeModel.reset(NumericScaleViewModelHelper::createGaugeViewModel(
        NumericScale<int>(940, 1060, 2, 10), ticks, 0.5f, false, Vector3D(0.0f, 0.0f, 0.0f),
        DRAW_DIRECTION_REVERSED, true, 1.2f));
    for (auto& tick : labelled) {
        tick.release();
    }
}

const std::vector<TickDisplay*>* BarometerMetricViewModel::getTicks() const {
    return gaugeModel ? gaugeModel->getTicks() : nullptr;
}

Vector3D BarometerMetricViewModel::getNeedleEndpoint() const {
    return gaugeModel ? gaugeModel->getNeedleEndpoint() : Vector3D(0.0f, 0.0f, 0.0f);
}

std::vector<std::string> BarometerMetricViewModel::getMajorTickDisplayValues() const {
    return {"940",  "950",  "960",  "970",  "980",  "990", "1000",
            "1010", "1020", "1030", "1040", "1050", "1060"};
}

std::optional<int> BarometerMetricViewModel::needleMillibars(float value) {
    std::optional<int> millibars = Converter::roundToInt(value);
    if (millibars && *millibars % 2 != 0) {
        // INT_MAX is odd: there the even neighbour lies below.
        *millibars += *millibars < INT_MAX ? 1 : -1;
    }
    return millibars;
}

void BarometerMetricViewModel::setValue(float newValue) {
    AbstractGaugeViewModelFloat::setValue(newValue);
    const std::optional<int> millibars = needleMillibars(newValue);
    if (gaugeModel && millibars) {
        gaugeModel->setValue(*millibars);
    }
}

std::string BarometerMetricViewModel::readout(float newValue) const {
    const std::optional<int> millibars = Converter::roundToInt(newValue);
    return millibars ? std::to_string(*millibars) : std::string(Converter::NO_READING);
}

void BarometerMetricViewModel::resetNeedle() {
    if (gaugeModel) {
        gaugeModel->resetNeedle();
    }
}

}  // namespace vpcore
