#include "display/BarometerMetricViewModel.h"

#include "display/NumericScaleViewModelHelper.h"
#include "weather/WeatherFormulas.h"

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

const Vector3D* BarometerMetricViewModel::getNeedleEndpoint() const {
    return gaugeModel ? gaugeModel->getNeedleEndpoint() : nullptr;
}

std::vector<std::string> BarometerMetricViewModel::getMajorTickDisplayValues() const {
    return {"940",  "950",  "960",  "970",  "980",  "990", "1000",
            "1010", "1020", "1030", "1040", "1050", "1060"};
}

int BarometerMetricViewModel::needleMillibars(float value) {
    const double v = value;
    int n = static_cast<int>(v > 0.0 ? v + 0.5 : v - 0.5);
    if (n % 2 != 0) {
        n += 1;
    }
    return n;
}

void BarometerMetricViewModel::setValue(float newValue) {
    AbstractGaugeViewModelFloat::setValue(newValue);
    if (gaugeModel) {
        gaugeModel->setValue(needleMillibars(newValue));
    }
}

std::string BarometerMetricViewModel::readout(float newValue) const {
    return toRoundedString(newValue);
}

void BarometerMetricViewModel::resetNeedle() {
    if (gaugeModel) {
        gaugeModel->resetNeedle();
    }
}

}  // namespace vpcore
