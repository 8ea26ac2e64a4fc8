#include "weather/TemperatureInterpolater.h"

#include <cmath>
#include <set>

#include "services/Converter.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"

namespace vpcore {

namespace {

const float NO_VALUE = -999.9f;
const unsigned short INTERVAL_SECONDS = 60;
const std::size_t PRESSURE_READINGS = 3;

const std::set<short>& ownIds() {
    static const std::set<short> ids{PROP_PRESSURE_MB, PROP_TEMP_F};
    return ids;
}

// Clears the flag however the publication ends, a throwing listener included.
class PublishingScope {
public:
    PublishingScope(bool& flag, std::mutex& mutex) : flag(flag), mutex(mutex) {
        std::lock_guard<std::mutex> lock(mutex);
        flag = true;
    }
    ~PublishingScope() {
        std::lock_guard<std::mutex> lock(mutex);
        flag = false;
    }
    PublishingScope(const PublishingScope&) = delete;
    PublishingScope& operator=(const PublishingScope&) = delete;

private:
    bool& flag;
    std::mutex& mutex;
};

}  // namespace

TemperatureInterpolater::DataResetHandler::DataResetHandler(TemperatureInterpolater* owner)
    : owner(owner) {
    NotificationService::Instance().addPropertyChangeListener<int>(this, {PROP_CONDITIONS_RESET});
}

TemperatureInterpolater::DataResetHandler::~DataResetHandler() {
    NotificationService::Instance().removePropertyChangeListener<int>(this,
                                                                      {PROP_CONDITIONS_RESET});
}

void TemperatureInterpolater::DataResetHandler::handlePropertyChange(short propId, const int* const,
                                                                     const int* const) {
    if (propId != PROP_CONDITIONS_RESET || owner == nullptr) {
        return;
    }
    Logger::Instance().log("INFO", "TemperatureInterpolater::DataResetHandler reset internal data");
    owner->resetData();
}

TemperatureInterpolater::HiLoTempHandler::HiLoTempHandler(TemperatureInterpolater* owner)
    : owner(owner) {
    NotificationService::Instance().addPropertyChangeListener<std::pair<int, std::string>>(
        this, {PROP_FORECAST_HI_LO});
}

TemperatureInterpolater::HiLoTempHandler::~HiLoTempHandler() {
    NotificationService::Instance().removePropertyChangeListener<std::pair<int, std::string>>(
        this, {PROP_FORECAST_HI_LO});
}

void TemperatureInterpolater::HiLoTempHandler::handlePropertyChange(
    short propId, const std::pair<int, std::string>* const,
    const std::pair<int, std::string>* const newValue) {
    if (propId != PROP_FORECAST_HI_LO || owner == nullptr) {
        return;
    }
    Logger::Instance().log("INFO", "TemperatureInterpolater::HiLoTempHandler received " +
                                       std::to_string(newValue->first) + " " + newValue->second);
    owner->setHiLo(*newValue);
}

TemperatureInterpolater::TemperatureInterpolater(int firstMinute, int secondMinute, int thirdMinute)
    : publishing(false),
      previousTemp(NO_VALUE),
      currentTemp(NO_VALUE),
      firstMinute(firstMinute),
      secondMinute(secondMinute),
      thirdMinute(thirdMinute) {
    // Registered once every member exists: a notification may reach them at once.
    dataResetHandler = std::make_unique<DataResetHandler>(this);
    hiLoTempHandler = std::make_unique<HiLoTempHandler>(this);
    NotificationService::Instance().addPropertyChangeListener<float>(this, ownIds());
    TaskScheduler::instance().scheduleAtInterval(this, INTERVAL_SECONDS, false);
}

TemperatureInterpolater::~TemperatureInterpolater() {
    NotificationService::Instance().removePropertyChangeListener<float>(this, ownIds());
    TaskScheduler::instance().removeTask(this);
    dataResetHandler.reset();
    hiLoTempHandler.reset();
}

void TemperatureInterpolater::handlePropertyChange(short propId, const float* const,
                                                   const float* const newValue) {
    // No reading (NaN) teaches nothing: it would carry into every interpolated value.
    if (std::isnan(*newValue)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (propId == PROP_PRESSURE_MB) {
        pressures.push_back(*newValue);
        if (pressures.size() > PRESSURE_READINGS) {
            pressures.pop_front();
        }
    } else if (propId == PROP_TEMP_F && !publishing) {
        if (currentTemp != NO_VALUE) {
            previousTemp = currentTemp;
        }
        currentTemp = *newValue;
    }
}

bool TemperatureInterpolater::performTask() {
    // One reading of the clock, so that the minute that allows the update also gives the step.
    const int minute = currentMinute();
    float oldF = 0.0f;
    float newF = 0.0f;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!isTimeForUpdate(minute) || !calculateTemp(minute, newF)) {
            return true;
        }
        oldF = currentTemp;
    }
    // Listeners run without the lock: this object hears its own PROP_TEMP_F.
    PublishingScope scope(publishing, mutex);
    NotificationService& notifications = NotificationService::Instance();
    notifications.notify<float>(PROP_TEMP_F, &oldF, &newF);
    const float oldC = Converter::fahrenheitToCelsius(oldF);
    const float newC = Converter::fahrenheitToCelsius(newF);
    notifications.notify<float>(PROP_TEMP_C, &oldC, &newC);
    return true;
}

std::string TemperatureInterpolater::getTaskName() const {
    return "TemperatureInterpolater";
}

bool TemperatureInterpolater::contributesToProgressBar() const {
    return false;
}

std::string TemperatureInterpolater::getDescription() const {
    return "";
}

bool TemperatureInterpolater::canLiveForever() const {
    return true;
}

void TemperatureInterpolater::setClock(Clock newClock) {
    std::lock_guard<std::mutex> lock(clockMutex);
    clock = std::move(newClock);
}

int TemperatureInterpolater::currentMinute() const {
    std::lock_guard<std::mutex> lock(clockMutex);
    return (clock ? clock() : QTime::currentTime()).minute();
}

bool TemperatureInterpolater::isTimeForUpdate(int minute) const {
    if (previousTemp == NO_VALUE || !hiLo) {
        return false;
    }
    return minute == firstMinute || minute == secondMinute || minute == thirdMinute;
}

int TemperatureInterpolater::getIncrdecrValueForCurTime(int minute) const {
    if (minute == firstMinute) {
        return 1;
    }
    if (minute == secondMinute) {
        return 2;
    }
    if (minute == thirdMinute) {
        return 3;
    }
    return 0;
}

bool TemperatureInterpolater::calculateTemp(int minute, float& result) const {
    if (previousTemp == NO_VALUE || currentTemp == NO_VALUE || !hiLo) {
        return false;
    }
    if (isBarometricPressureFalling()) {
        return false;
    }
    const float extreme = static_cast<float>(hiLo->first);
    const float step = static_cast<float>(getIncrdecrValueForCurTime(minute));
    if (hiLo->second == "Hi") {
        if (currentTemp < extreme && previousTemp < currentTemp && currentTemp + step < extreme) {
            result = currentTemp + step;
            return true;
        }
    } else if (hiLo->second == "Lo") {
        if (currentTemp > extreme && previousTemp > currentTemp && currentTemp - step > extreme) {
            result = currentTemp - step;
            return true;
        }
    }
    return false;
}

bool TemperatureInterpolater::isBarometricPressureFalling() const {
    // True when the three readings strictly rise; a 0.0 reading does not count as a
    // predecessor.
    if (pressures.size() != PRESSURE_READINGS) {
        return false;
    }
    float previous = 0.0f;
    for (float reading : pressures) {
        if (previous != 0.0f && reading <= previous) {
            return false;
        }
        previous = reading;
    }
    return true;
}

void TemperatureInterpolater::resetData() {
    std::lock_guard<std::mutex> lock(mutex);
    previousTemp = NO_VALUE;
    currentTemp = NO_VALUE;
    pressures.clear();
    hiLo.reset();
}

void TemperatureInterpolater::setHiLo(const std::pair<int, std::string>& value) {
    std::lock_guard<std::mutex> lock(mutex);
    hiLo = std::make_unique<std::pair<int, std::string>>(value);
}

}  // namespace vpcore
