#include "WeatherAlertSoundTask.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMetaObject>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>
#include <atomic>

#include "Settings.h"
#include "services/Logger.h"
#include "services/QSleeper.h"

const char* const WeatherAlertSoundTask::SOUND_FILE = "resources/6_beeps.wav";

namespace {

const int CANCEL_CHECKS_PER_PAUSE = 3;

// Plays through one sound effect that lives on the GUI thread, a child of the application.
// The device question is answered once, on the thread that builds the output (the GUI thread):
// the multimedia back end is not to be started from the runner thread.
class DefaultSoundOutput : public WeatherAlertSoundTask::SoundOutput {
public:
    DefaultSoundOutput() : available(!QMediaDevices::audioOutputs().isEmpty()) {}

    bool isAvailable() override { return available; }

    void play(const QString& file) override {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(
            app,
            [file] {
                static QPointer<QSoundEffect> effect;
                const QString path = QCoreApplication::applicationDirPath() + "/" + file;
                if (!QFileInfo::exists(path)) {
                    vpcore::Logger::Instance().log("WARN",
                                                   "Sound file not found: " + path.toStdString());
                    return;
                }
                if (effect.isNull()) {
                    effect = new QSoundEffect(QCoreApplication::instance());
                }
                if (effect->source() != QUrl::fromLocalFile(path)) {
                    effect->setSource(QUrl::fromLocalFile(path));
                }
                effect->play();
            },
            Qt::QueuedConnection);
    }

private:
    const bool available;
};

std::atomic<WeatherAlertSoundTask::SoundOutput*> installedOutput{nullptr};

}  // namespace

WeatherAlertSoundTask::WeatherAlertSoundTask() = default;

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
