// Plays the alert sound when a new weather alert arrives: once, or again and again until the
// user has viewed the alerts, as the user's settings say (read anew at every alert). The main
// window starts the one instance; alert events reach it on the runner thread (new, expired)
// and on the GUI thread (viewed), and it does its work on the thread that notifies.
#pragma once

#include <memory>
#include <mutex>

#include "alerts/WeatherAlertSoundTask.h"
#include "services/IPropertyChangeListener.h"

class AlertSoundManager : private vpcore::NoPropertyChangeListener {
public:
    // The program's one manager, built on the first call, which must come from the GUI thread.
    static AlertSoundManager& instance();

    // Listens to PROP_ALERT_NEW, PROP_ALERTS_EXPIRED and PROP_ALERT_VIEWED. The program uses
    // instance(); tests build their own.
    AlertSoundManager();
    // Stops listening, then cancels a repeating sound and takes it off the schedule (waiting
    // at most about a second for a run in progress).
    ~AlertSoundManager() override;

    AlertSoundManager(const AlertSoundManager&) = delete;
    AlertSoundManager& operator=(const AlertSoundManager&) = delete;

    // The repeat interval in seconds for the PLAY_ALERT_INTERVAL_IN_MIN setting: the scheduler
    // needs at least 2 seconds and at most what 16 bits hold, so the minutes are bounded to
    // 1 .. MAX_INTERVAL_MIN.
    static unsigned short repeatIntervalSeconds(int minutes);
    static constexpr int MAX_INTERVAL_MIN = 1092;

    // Whether a sound is scheduled to repeat now.
    bool isRepeating() const;

private:
    void handlePropertyChange(short propId, const int* const oldValue,
                              const int* const newValue) override;
    void startSound();
    void stopRepeating();

    // Guards repeatingTask: events come from the runner and the GUI thread.
    mutable std::mutex mutex;
    // Scheduled to repeat until the alerts are viewed or expire; null when none.
    std::unique_ptr<WeatherAlertSoundTask> repeatingTask;
};
