// Installed on the application object: a mouse press on an object with the dynamic property
// "playsound" plays its cue ("whirl": the gauge turn, "drop": the label click) when the
// setting PLAY_SOUNDS is on. Never consumes an event. GUI thread.
#pragma once

#include <QObject>

class VesparoEventFilter : public QObject {
public:
    VesparoEventFilter() = default;

    bool eventFilter(QObject* watched, QEvent* event) override;
};
