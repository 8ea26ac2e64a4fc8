#include "shell/VesparoEventFilter.h"

#include <QEvent>
#include <QVariant>

#include "base/Settings.h"
#include "base/SoundPlayer.h"

bool VesparoEventFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && readBoolSetting("PLAY_SOUNDS")) {
        const QVariant cue = watched->property("playsound");
        if (cue.isValid()) {
            const QString name = cue.toString();
            if (name == "whirl") {
                SoundPlayer::instance().play("resources/gauge_turn.wav");
            } else if (name == "drop") {
                SoundPlayer::instance().play("resources/label_click.wav");
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
