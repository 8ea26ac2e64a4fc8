// The scheduled task that sounds a weather alert: it plays "resources/6_beeps.wav" three
// times, three seconds apart, unless it is cancelled meanwhile. The alert sound manager queues
// it once or schedules it to repeat; it runs on the scheduler's runner thread, and the sound
// itself is played on the GUI thread, so neither thread waits for the other.
#pragma once

#include <QString>
#include <string>

#include "services/IScheduledTask.h"

class WeatherAlertSoundTask : public vpcore::IScheduledTask {
public:
    // Where the beeps go. The default is the program's SoundPlayer, which plays on the GUI
    // thread when the machine has an audio output device; both members may be called on any
    // thread and must not block.
    class SoundOutput {
    public:
        virtual ~SoundOutput() = default;
        virtual bool isAvailable() = 0;
        // file: relative to the program's folder.
        virtual void play(const QString& file) = 0;
    };

    static const char* const SOUND_FILE;  // "resources/6_beeps.wav"
    static constexpr int PLAYS = 3;
    static constexpr int PAUSE_MS = 3000;  // from the start of one play to the start of the next

    WeatherAlertSoundTask();
    // untilViewed: the sound repeats until the alerts are viewed or expire, so its schedule
    // outlives a change of location (which restarts the scheduler); the alert sound manager
    // takes it off when that time comes.
    explicit WeatherAlertSoundTask(bool untilViewed);
    ~WeatherAlertSoundTask() override;

    // Logs "Sound is not available." and plays nothing when there is no audio device or the
    // user has switched sound effects off (PLAY_SOUNDS). A cancellation ends the run within a
    // second. Always true.
    bool performTask() override;
    std::string getTaskName() const override;
    bool contributesToProgressBar() const override;
    std::string getDescription() const override;
    // True for a sound that repeats until viewed.
    bool canLiveForever() const override;

    // The output every task plays to; null restores the default. The default is built on
    // first use, which must come from the GUI thread (the alert sound manager's constructor
    // sees to that). Not owned; it must outlive the tasks that use it.
    static void setSoundOutput(SoundOutput* output);
    static SoundOutput& soundOutput();

private:
    const bool untilViewed = false;
};
