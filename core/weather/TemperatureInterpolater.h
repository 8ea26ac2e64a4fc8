// Moves the displayed air temperature towards the next forecast high or low between hourly
// observations, by 1, 2 or 3 degrees F at three minutes of the hour. Created once by the desktop
// program; task and listeners run on the scheduler's runner thread, across location changes.
#pragma once

#include <QTime>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "services/IPropertyChangeListener.h"
#include "services/IScheduledTask.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT TemperatureInterpolater : public IPropertyChangeListener<float>,
                                              public IScheduledTask {
public:
    // Clears the observations, pressures and the forecast extreme on PROP_CONDITIONS_RESET.
    class VPCORE_EXPORT DataResetHandler : public IPropertyChangeListener<int> {
    public:
        explicit DataResetHandler(TemperatureInterpolater* owner);
        ~DataResetHandler() override;
        void handlePropertyChange(short propId, const int* const oldValue,
                                  const int* const newValue) override;

    private:
        TemperatureInterpolater* const owner;  // not owned
    };

    // Keeps the next forecast high or low of PROP_FORECAST_HI_LO.
    class VPCORE_EXPORT HiLoTempHandler
        : public IPropertyChangeListener<std::pair<int, std::string>> {
    public:
        explicit HiLoTempHandler(TemperatureInterpolater* owner);
        ~HiLoTempHandler() override;
        void handlePropertyChange(short propId, const std::pair<int, std::string>* const oldValue,
                                  const std::pair<int, std::string>* const newValue) override;

    private:
        TemperatureInterpolater* const owner;  // not owned
    };

    // The time of day whose minute decides when to publish; the system clock unless replaced.
    using Clock = std::function<QTime()>;

    // The minutes at which steps of 1, 2 and 3 degrees are published. Registers the listeners
    // and schedules itself every 60 seconds.
    explicit TemperatureInterpolater(int firstMinute = 32, int secondMinute = 47,
                                     int thirdMinute = 2);
    // Unregisters and takes itself out of the schedule, waiting while its task runs.
    ~TemperatureInterpolater() override;

    TemperatureInterpolater(const TemperatureInterpolater&) = delete;
    TemperatureInterpolater& operator=(const TemperatureInterpolater&) = delete;

    // PROP_PRESSURE_MB and PROP_TEMP_F (observed values only, not its own publications).
    void handlePropertyChange(short propId, const float* const oldValue,
                              const float* const newValue) override;

    // Publishes PROP_TEMP_F and PROP_TEMP_C when an interpolated value is due; always true.
    bool performTask() override;
    std::string getTaskName() const override;
    bool contributesToProgressBar() const override;
    std::string getDescription() const override;
    bool canLiveForever() const override;

    // An empty clock restores the system clock.
    void setClock(Clock clock);

private:
    bool isTimeForUpdate(int minute) const;
    bool calculateTemp(int minute, float& result) const;
    int getIncrdecrValueForCurTime(int minute) const;
    bool isBarometricPressureFalling() const;
    int currentMinute() const;
    void resetData();
    void setHiLo(const std::pair<int, std::string>& value);

    bool publishing;     // set while performTask publishes PROP_TEMP_F itself
    float previousTemp;  // degrees F; -999.9 when unknown
    float currentTemp;   // degrees F; -999.9 when unknown
    std::unique_ptr<std::pair<int, std::string>> hiLo;  // next forecast extreme, "Hi" or "Lo"
    const int firstMinute;
    const int secondMinute;
    const int thirdMinute;
    std::list<float> pressures;  // the last three readings in mb, oldest first
    std::unique_ptr<DataResetHandler> dataResetHandler;
    std::unique_ptr<HiLoTempHandler> hiLoTempHandler;

    // Guards the fields above. Everything runs on the runner thread, but the lock keeps the
    // state sound should a value ever be notified from another thread.
    mutable std::mutex mutex;
    Clock clock;
    mutable std::mutex clockMutex;
};

}  // namespace vpcore
