#include "display/AbstractTemperatureViewModel.h"

#include <cmath>
#include <optional>

#include "display/NumericScaleViewModelHelper.h"
#include "services/Converter.h"
#include "services/NotificationService.h"

namespace vpcore {

AbstractTemperatureViewModel::AbstractTemperatureViewModel(
    PropId heardProperty, std::vector<std::string> majorLabels,
    std::map<std::string, Vector3D> labelColours, NumericScale<int> scale,
    DrawDirection_t drawDirection, float rotationDivisor, std::string unitLetter)
    : heardProperty(heardProperty),
      majorLabels(std::move(majorLabels)),
      scale(scale),
      drawDirection(drawDirection),
      rotationDivisor(rotationDivisor),
      unitLetter(std::move(unitLetter)),
      labelColours(std::move(labelColours)),
      resetListener([this] {
          const float old = getValue();
          const float none = 0.0f;
          // The needle goes home, as before the first reading, not to zero degrees.
          AbstractGaugeViewModelFloat::setValue(none);
          if (gaugeModel) {
              gaugeModel->resetNeedle();
          }
          setDigitalValue("0.0");
          notifyChanged();
          AbstractGaugeViewModelFloat::handlePropertyChange(this->heardProperty, &old, &none);
      }) {
    NotificationService::Instance().addPropertyChangeListener<float>(this, {heardProperty});
}

AbstractTemperatureViewModel::~AbstractTemperatureViewModel() {
    NotificationService::Instance().removePropertyChangeListener<float>(this, {heardProperty});
}

void AbstractTemperatureViewModel::constructView() {
    std::vector<std::unique_ptr<MajorTickDisplay>> labelled;
    std::vector<MajorTickDisplay*> ticks;
    for (const std::string& label : getMajorTickDisplayValues()) {
        labelled.push_back(std::make_unique<MajorTickDisplay>(label));
        // The colours stay in this model's map, which outlives the geometry.
        const auto colour = labelColours.find(label);
        if (colour != labelColours.end()) {
            labelled.back()->colour = &colour->second;
        }
        ticks.push_back(labelled.back().get());
    }
    gaugeModel.reset(NumericScaleViewModelHelper::createGaugeViewModel(
        scale, ticks, 0.5f, false, Vector3D(0.0f, 0.0f, 0.0f), drawDirection, true,
        rotationDivisor));
    for (auto& tick : labelled) {
        tick.release();
    }
}

const std::vector<TickDisplay*>* AbstractTemperatureViewModel::getTicks() const {
    return gaugeModel ? gaugeModel->getTicks() : nullptr;
}

Vector3D AbstractTemperatureViewModel::getNeedleEndpoint() const {
    return gaugeModel ? gaugeModel->getNeedleEndpoint() : Vector3D(0.0f, 0.0f, 0.0f);
}

std::vector<std::string> AbstractTemperatureViewModel::getMajorTickDisplayValues() const {
    return majorLabels;
}

void AbstractTemperatureViewModel::setDigitalValue(const std::string& newValue) {
    std::lock_guard<std::mutex> lock(digitalMutex);
    digitalValue = newValue;
}

std::string AbstractTemperatureViewModel::getDigitalValue() const {
    std::lock_guard<std::mutex> lock(digitalMutex);
    return digitalValue;
}

std::string AbstractTemperatureViewModel::getToolTip() const {
    return "Air temperature\n" + getDigitalValue() + " \u00B0" + unitLetter;
}

void AbstractTemperatureViewModel::setValue(float newValue) {
    AbstractGaugeViewModelFloat::setValue(newValue);
    // A value heard before the widget built the view only shows in the read-out.
    const std::optional<int> degrees = Converter::roundToInt(newValue);
    if (gaugeModel && degrees) {
        gaugeModel->setValue(*degrees);
    }
}

void AbstractTemperatureViewModel::handlePropertyChange(short propId, const float* const oldValue,
                                                        const float* const newValue) {
    if (propId != heardProperty) {
        return;
    }
    setValue(*newValue);
    setDigitalValue(std::isnan(*newValue) ? std::string(Converter::NO_READING)
                                          : Converter::formatDecimalString(*newValue, 1));
    notifyChanged();
    AbstractGaugeViewModelFloat::handlePropertyChange(propId, oldValue, newValue);
}

}  // namespace vpcore
