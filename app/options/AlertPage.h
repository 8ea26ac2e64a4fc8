// The options page that chooses whether an alert sound plays, once or again every few minutes
// until the alert has been viewed (read by the alert sound manager). GUI thread only.
#pragma once

#include "options/OptionsPageBase.h"

class QCheckBox;
class QRadioButton;
class QSpinBox;

class AlertPage : public OptionsPageBase {
public:
    explicit AlertPage(QWidget* parent);

    // SOUND_ALERT, PLAY_ALERT_UNTIL_VIEWED (never true with sounds off) and
    // PLAY_ALERT_INTERVAL_IN_MIN.
    void save() override;

private:
    QCheckBox* soundCheckBox;
    QRadioButton* untilViewedButton;
    QRadioButton* onceButton;
    QSpinBox* intervalBox;  // 1 to 30 minutes: the bounds of the repeated sound's interval
};
