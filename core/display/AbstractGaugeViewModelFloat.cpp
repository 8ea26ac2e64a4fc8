#include "display/AbstractGaugeViewModelFloat.h"

namespace vpcore {

AbstractGaugeViewModelFloat::AbstractGaugeViewModelFloat() = default;

AbstractGaugeViewModelFloat::AbstractGaugeViewModelFloat(const AbstractGaugeViewModelFloat& other) =
    default;

AbstractGaugeViewModelFloat& AbstractGaugeViewModelFloat::operator=(
    const AbstractGaugeViewModelFloat& other) = default;

AbstractGaugeViewModelFloat::~AbstractGaugeViewModelFloat() = default;

std::string AbstractGaugeViewModelFloat::getToolTip() const {
    return std::string();
}

void AbstractGaugeViewModelFloat::setActive(bool isActive) {
    active = isActive;
    if (activeDelegate) {
        activeDelegate(active);
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
