#include "display/WindViewModel.h"

#include <cmath>
#include <sstream>

#include "services/Converter.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

namespace vpcore {

WindSpeedUpdater::WindSpeedUpdater(WindViewModel* owner) : owner(owner) {
    NotificationService::Instance().addPropertyChangeListener<float>(this, {heardProperty()});
}

WindSpeedUpdater::~WindSpeedUpdater() {
    NotificationService::Instance().removePropertyChangeListener<float>(this, {heardProperty()});
}

short WindSpeedUpdater::heardProperty() const {
    return owner->getUnits() == WindViewModel::UNITS_MPH ? PROP_WIND_MPH : PROP_WIND_KMH;
}

void WindSpeedUpdater::handlePropertyChange(short propId, const float* const,
                                            const float* const newValue) {
    if (propId != PROP_WIND_MPH && propId != PROP_WIND_KMH) {
        return;
    }
    if (std::isnan(*newValue)) {
        owner->setDigitalValue(Converter::NO_READING);
        return;
    }
    std::ostringstream speed;
    speed << *newValue;
    owner->setDigitalValue(speed.str());
    owner->notifyChanged();
}

CurrentConditionsDataResetHandler::CurrentConditionsDataResetHandler(WindViewModel* owner)
    : owner(owner) {
    NotificationService::Instance().addPropertyChangeListener<int>(this, {PROP_CONDITIONS_RESET});
}

CurrentConditionsDataResetHandler::~CurrentConditionsDataResetHandler() {
    NotificationService::Instance().removePropertyChangeListener<int>(this,
                                                                      {PROP_CONDITIONS_RESET});
}

void CurrentConditionsDataResetHandler::handlePropertyChange(short propId, const int* const,
                                                             const int* const) {
    if (propId != PROP_CONDITIONS_RESET) {
        return;
    }
    owner->setDigitalValue("Calm");
    if (owner->getWindModelImpl() != nullptr) {
        owner->getWindModelImpl()->resetNeedle();
    }
    owner->notifyChanged();
}

WindViewModel::WindViewModel(Units_t units) : units(units), speedUpdater(this), resetHandler(this) {
    NotificationService::Instance().addPropertyChangeListener<std::string>(this, {PROP_WIND_DIR});
}

WindViewModel::~WindViewModel() {
    NotificationService::Instance().removePropertyChangeListener<std::string>(this,
                                                                              {PROP_WIND_DIR});
}

void WindViewModel::constructView() {
    std::vector<TickDisplay*> ticks;
    for (const std::string& label : getMajorTickDisplayValues()) {
        ticks.push_back(new MajorTickDisplay(label));
    }
    gaugeModel = std::make_unique<GaugeViewModel<std::string>>(
        ticks, 0.5f, false, Vector3D(0.0f, 0.0f, 0.0f), DRAW_DIRECTION_NORMAL, 4.0f);
}

const std::vector<TickDisplay*>* WindViewModel::getTicks() const {
    return gaugeModel ? gaugeModel->getTicks() : nullptr;
}

Vector3D WindViewModel::getNeedleEndpoint() const {
    return gaugeModel ? gaugeModel->getNeedleEndpoint() : Vector3D(0.0f, 0.0f, 0.0f);
}

std::vector<std::string> WindViewModel::getMajorTickDisplayValues() const {
    if (units == UNITS_KMH) {
        return {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    }
    return {"N", "NW", "W", "SW", "S", "SE", "E", "NE"};
}

void WindViewModel::setDigitalValue(const std::string& value) {
    std::lock_guard<std::mutex> lock(textMutex);
    digitalValue = value;
}

std::string WindViewModel::getDigitalValue() const {
    std::lock_guard<std::mutex> lock(textMutex);
    return digitalValue;
}

std::string WindViewModel::getToolTip() const {
    const std::string speed = getDigitalValue();
    if (speed == "Calm") {
        return "Wind\nCalm";
    }
    const std::string unitText = units == UNITS_KMH ? " km/h " : " mph ";
    if (isVariableWind()) {
        return "Wind\nVariable at " + speed + unitText;
    }
    const std::string direction = gaugeModel ? gaugeModel->getValue() : std::string();
    return "Wind\nComing from the " + direction + " at " + speed + unitText;
}

void WindViewModel::setValue(const std::string& direction) {
    setVariableWind(false);
    if (direction.empty() || direction == "Calm") {
        if (gaugeModel) {
            gaugeModel->resetNeedle();
        }
        setDigitalValue(direction);
    } else if (direction == "Var") {
        if (gaugeModel) {
            gaugeModel->resetNeedle();
        }
        setVariableWind(true);
    } else if (gaugeModel) {
        gaugeModel->setValue(direction);
    }
}

WindViewModel::Units_t WindViewModel::getUnits() const {
    return units;
}

bool WindViewModel::isVariableWind() const {
    std::lock_guard<std::mutex> lock(textMutex);
    return variableWind;
}

void WindViewModel::setVariableWind(bool variable) {
    std::lock_guard<std::mutex> lock(textMutex);
    variableWind = variable;
}

GaugeViewModel<std::string>* WindViewModel::getWindModelImpl() {
    return gaugeModel.get();
}

void WindViewModel::handlePropertyChange(short propId, const std::string* const,
                                         const std::string* const newValue) {
    if (propId == PROP_WIND_DIR) {
        setValue(*newValue);
        notifyChanged();
    }
}

}  // namespace vpcore
