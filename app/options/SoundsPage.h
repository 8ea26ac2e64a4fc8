// The options page that switches the interface's sound effects (click cues, forecast
// ambience, alert beeps) on or off; alerts have their own page. GUI thread only.
#pragma once

#include "options/OptionsPageBase.h"

class QCheckBox;

class SoundsPage : public OptionsPageBase {
public:
    explicit SoundsPage(QWidget* parent);

    // PLAY_SOUNDS.
    void save() override;

private:
    QCheckBox* effectsCheckBox;
};
