#include "display/AbstractBarometerViewModel.h"

#include <cmath>

#include "services/NotificationService.h"

namespace vpcore {

AbstractBarometerViewModel::AbstractBarometerViewModel(PropId heardProperty, std::string unitText)
    : heardProperty(heardProperty), unitText(std::move(unitText)), resetListener([this] {
          const float old = getValue();
          const float none = 0.0f;
          {
              std::lock_guard<std::mutex> lock(textMutex);
              trend.clear();
              digitalValue = "0.0";
          }
          // The needle goes home, as before the first reading.
          AbstractGaugeViewModelFloat::setValue(none);
          resetNeedle();
          notifyChanged();
          AbstractGaugeViewModelFloat::handlePropertyChange(this->heardProperty, &old, &none);
      }) {
    NotificationService::Instance().addPropertyChangeListener<float>(this, {heardProperty});
}

AbstractBarometerViewModel::~AbstractBarometerViewModel() {
    NotificationService::Instance().removePropertyChangeListener<float>(this, {heardProperty});
}

void AbstractBarometerViewModel::setDigitalValue(const std::string& newValue) {
    std::lock_guard<std::mutex> lock(textMutex);
    digitalValue = newValue;
}

std::string AbstractBarometerViewModel::getDigitalValue() const {
    std::lock_guard<std::mutex> lock(textMutex);
    return digitalValue;
}

std::string AbstractBarometerViewModel::getTrend() const {
    std::lock_guard<std::mutex> lock(textMutex);
    return trend;
}

std::string AbstractBarometerViewModel::getToolTip() const {
    return "Barometric pressure\n" + getDigitalValue() + unitText + getTrend();
}

std::unique_ptr<QImage> AbstractBarometerViewModel::getBackPlateImage() {
    return std::make_unique<QImage>(QStringLiteral(":/barometer_bg_1.png"));
}

std::string AbstractBarometerViewModel::pressureTrend(float oldValue, float newValue) {
    // The publisher holds 0 before its first reading, which gives no trend; nor does a
    // missing reading (NaN) on either side.
    if (oldValue == 0.0f || std::isnan(oldValue) || std::isnan(newValue)) {
        return std::string();
    }
    if (oldValue == newValue) {
        return "Steady";
    }
    return oldValue < newValue ? "Rising" : "Falling";
}

void AbstractBarometerViewModel::handlePropertyChange(short propId, const float* const oldValue,
                                                      const float* const newValue) {
    if (propId != heardProperty) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(textMutex);
        trend = pressureTrend(*oldValue, *newValue);
    }
    setValue(*newValue);
    setDigitalValue(readout(*newValue));
    notifyChanged();
    AbstractGaugeViewModelFloat::handlePropertyChange(propId, oldValue, newValue);
}

}  // namespace vpcore
