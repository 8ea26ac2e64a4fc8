#include "display/BarometerEngViewModel.h"

#include <cmath>

#include <sstream>

#include "services/Converter.h"

namespace vpcore {

BarometerEngViewModel::BarometerEngViewModel()
    : AbstractBarometerViewModel(PROP_PRESSURE_IN, " inHg ") {}

BarometerEngViewModel::~BarometerEngViewModel() = default;

void BarometerEngViewModel::constructView() {
    std::vector<TickDisplay*> ticks;
    // Labels step by a float sum, so they are the floats a reading to one decimal becomes;
    // the sum passes 31.5 just before reaching it, which ends the scale at 31.4.
    for (float f = 27.5f; f <= 31.5f; f = f + 0.1) {
        std::ostringstream label;
        label << f;
        TickDisplay* tick = new MajorTickDisplay(label.str());
        tick->visible = false;
        ticks.push_back(tick);
    }
    gaugeModel = std::make_unique<GaugeViewModel<float>>(
        ticks, 0.5f, false, Vector3D(0.0f, 0.0f, 0.0f), DRAW_DIRECTION_REVERSED, 1.27f);
}

const std::vector<TickDisplay*>* BarometerEngViewModel::getTicks() const {
    return gaugeModel ? gaugeModel->getTicks() : nullptr;
}

Vector3D BarometerEngViewModel::getNeedleEndpoint() const {
    return gaugeModel ? gaugeModel->getNeedleEndpoint() : Vector3D(0.0f, 0.0f, 0.0f);
}

std::vector<std::string> BarometerEngViewModel::getMajorTickDisplayValues() const {
    return {};
}

void BarometerEngViewModel::setValue(float newValue) {
    AbstractGaugeViewModelFloat::setValue(newValue);
    if (gaugeModel && std::isfinite(newValue)) {
        const double tenths = Converter::toDouble(Converter::formatDecimalString(newValue, 1));
        gaugeModel->setValue(static_cast<float>(tenths));
    }
}

std::string BarometerEngViewModel::readout(float newValue) const {
    return std::isnan(newValue) ? std::string(Converter::NO_READING)
                                : Converter::formatDecimalString(newValue, 2);
}

void BarometerEngViewModel::resetNeedle() {
    if (gaugeModel) {
        gaugeModel->resetNeedle();
    }
}

}  // namespace vpcore
