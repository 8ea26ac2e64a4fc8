#include "alerts/WeatherAlertSoundTask.h"

#include <atomic>

#include "base/Settings.h"
#include "base/SoundPlayer.h"
#include "services/Logger.h"
#include "services/QSleeper.h"

const char* const WeatherAlertSoundTask::SOUND_FILE = "resources/6_beeps.wav";

namespace {

const int CANCEL_CHECKS_PER_PAUSE = 3;

// The program's sound player, which plays on the GUI thread whoever asks. Built on the GUI
// thread: the player must live there, and the device question (asked once, here) is not to
// start the multimedia back end on the runner thread.
class DefaultSoundOutput : public WeatherAlertSoundTask::SoundOutput {
public:
    DefaultSoundOutput() : player(SoundPlayer::instance()), available(player.isAvailable()) {}

    bool isAvailable() override { return available; }
    void play(const QString& file) override { player.play(file); }

private:
    SoundPlayer& player;
    const bool available;
};

std::atomic<WeatherAlertSoundTask::SoundOutput*> installedOutput{nullptr};

}  // namespace

WeatherAlertSoundTask::WeatherAlertSoundTask() = default;

WeatherAlertSoundTask::WeatherAlertSoundTask(bool untilViewed) : untilViewed(untilViewed) {}

WeatherAlertSoundTask::~WeatherAlertSoundTask() = default;

void WeatherAlertSoundTask::setSoundOutput(SoundOutput* output) {
    installedOutput = output;
}

WeatherAlertSoundTask::SoundOutput& WeatherAlertSoundTask::soundOutput() {
    SoundOutput* output = installedOutput;
    if (output != nullptr) {
        return *output;
    }
    static DefaultSoundOutput defaultOutput;
    return defaultOutput;
}

bool WeatherAlertSoundTask::performTask() {
    SoundOutput& output = soundOutput();
    if (!output.isAvailable() || !readBoolSetting("PLAY_SOUNDS")) {
        vpcore::Logger::Instance().log("INFO", "Sound is not available.");
        return true;
    }
    for (int i = 0; i < PLAYS; ++i) {
        if (i > 0) {
            // The pause is cut into one-second naps so that a cancellation is seen quickly.
            for (int nap = 0; nap < CANCEL_CHECKS_PER_PAUSE; ++nap) {
                if (isCancelled()) {
                    return true;
                }
                QtUtils::QSleeper::msleep(PAUSE_MS / CANCEL_CHECKS_PER_PAUSE);
            }
        }
        // Checked again after the last nap, so a cancelled run never plays once more.
        if (isCancelled()) {
            return true;
        }
        output.play(SOUND_FILE);
    }
    return true;
}

std::string WeatherAlertSoundTask::getTaskName() const {
    return "WeatherAlertSoundTask";
}

bool WeatherAlertSoundTask::contributesToProgressBar() const {
    return false;
}

std::string WeatherAlertSoundTask::getDescription() const {
    return std::string();
}

bool WeatherAlertSoundTask::canLiveForever() const {
    return untilViewed;
}
