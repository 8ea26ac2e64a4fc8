#include "alerts/AlertSoundManager.h"

#include <algorithm>
#include <set>
#include <string>

#include "base/Settings.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"

namespace {

const std::set<short>& listenedIds() {
    static const std::set<short> ids{vpcore::PROP_ALERT_VIEWED, vpcore::PROP_ALERTS_EXPIRED,
                                     vpcore::PROP_ALERT_NEW};
    return ids;
}

}  // namespace

AlertSoundManager& AlertSoundManager::instance() {
    static AlertSoundManager manager;
    return manager;
}

AlertSoundManager::AlertSoundManager() {
    // The scheduler must outlive the manager, whose destructor still calls it.
    vpcore::TaskScheduler::instance();
    // The default sound output asks for the audio device once, here on the GUI thread.
    WeatherAlertSoundTask::soundOutput();
    vpcore::NotificationService::Instance().addPropertyChangeListener<int>(this, listenedIds());
}

AlertSoundManager::~AlertSoundManager() {
    // No new event once this returns; then the task can go.
    vpcore::NotificationService::Instance().removePropertyChangeListener<int>(this, listenedIds());
    std::lock_guard<std::mutex> lock(mutex);
    if (repeatingTask) {
        // Cancelled first, so that a sound in progress does not hold up the program's exit.
        repeatingTask->setCancelled();
        vpcore::TaskScheduler::instance().removeTask(repeatingTask.get());
        repeatingTask.reset();
    }
}

unsigned short AlertSoundManager::repeatIntervalSeconds(int minutes) {
    return static_cast<unsigned short>(std::clamp(minutes, 1, MAX_INTERVAL_MIN) * 60);
}

bool AlertSoundManager::isRepeating() const {
    std::lock_guard<std::mutex> lock(mutex);
    return repeatingTask != nullptr;
}

void AlertSoundManager::handlePropertyChange(short propId, const int* const, const int* const) {
    switch (propId) {
        case vpcore::PROP_ALERTS_EXPIRED:
        case vpcore::PROP_ALERT_VIEWED:
            stopRepeating();
            break;
        case vpcore::PROP_ALERT_NEW:
            startSound();
            break;
        default:
            break;
    }
}

void AlertSoundManager::startSound() {
    if (!readBoolSetting("SOUND_ALERT")) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    // A new alert while the sound repeats adds nothing.
    if (repeatingTask) {
        return;
    }
    if (!readBoolSetting("PLAY_ALERT_UNTIL_VIEWED")) {
        vpcore::TaskScheduler::instance().queueTask(new WeatherAlertSoundTask());
        return;
    }
    const int minutes = readIntSetting("PLAY_ALERT_INTERVAL_IN_MIN");
    const unsigned short seconds = repeatIntervalSeconds(minutes);
    if (seconds != minutes * 60) {
        vpcore::Logger::Instance().log("WARN", "Alert sound interval of " +
                                                   std::to_string(minutes) +
                                                   " minute(s) is out of range; repeating every " +
                                                   std::to_string(seconds / 60) + " minute(s).");
    }
    // Kept across a change of location: the alerts it announces are unseen until the user
    // views them or they expire, whichever location the model reads next.
    repeatingTask = std::make_unique<WeatherAlertSoundTask>(true);
    vpcore::TaskScheduler::instance().scheduleAtInterval(repeatingTask.get(), seconds, true);
}

void AlertSoundManager::stopRepeating() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!repeatingTask) {
        return;
    }
    repeatingTask->setCancelled();
    vpcore::TaskScheduler::instance().removeTask(repeatingTask.get());
    repeatingTask.reset();
}
