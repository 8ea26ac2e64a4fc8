#include "display/AbstractGaugeViewModelFloat.h"

namespace vpcore {

AbstractGaugeViewModelFloat::AbstractGaugeViewModelFloat() = default;

AbstractGaugeViewModelFloat::AbstractGaugeViewModelFloat(const AbstractGaugeViewModelFloat& other)
    : IGaugeViewModel(other),
      FloatPropertyChangeListener(other),
      active(other.active.load()),
      value(other.value.load()),
      activeDelegate(other.activeDelegate),
      propertyChangeDelegate(other.propertyChangeDelegate) {}

AbstractGaugeViewModelFloat& AbstractGaugeViewModelFloat::operator=(
    const AbstractGaugeViewModelFloat& other) {
    IGaugeViewModel::operator=(other);
    FloatPropertyChangeListener::operator=(other);
    active = other.active.load();
    value = other.value.load();
    activeDelegate = other.activeDelegate;
    propertyChangeDelegate = other.propertyChangeDelegate;
    return *this;
}

AbstractGaugeViewModelFloat::~AbstractGaugeViewModelFloat() = default;

std::string AbstractGaugeViewModelFloat::getToolTip() const {
    return std::string();
}

void AbstractGaugeViewModelFloat::setActive(bool isActive) {
    active = isActive;
    if (activeDelegate) {
        activeDelegate(isActive);
    }
}

bool AbstractGaugeViewModelFloat::isActive() const {
    return active;
}

void AbstractGaugeViewModelFloat::setValue(float newValue) {
    value = newValue;
}

float AbstractGaugeViewModelFloat::getValue() const {
    return value;
}

void AbstractGaugeViewModelFloat::setActiveDelegate(fastdelegate::FastDelegate1<bool> delegate) {
    activeDelegate = delegate;
}

void AbstractGaugeViewModelFloat::setPropertyChangeDelegate(
    fastdelegate::FastDelegate2<short, float> delegate) {
    propertyChangeDelegate = delegate;
}

void AbstractGaugeViewModelFloat::handlePropertyChange(short propId, const float* const,
                                                       const float* const newValue) {
    if (propertyChangeDelegate) {
        propertyChangeDelegate(propId, *newValue);
    }
}

}  // namespace vpcore
