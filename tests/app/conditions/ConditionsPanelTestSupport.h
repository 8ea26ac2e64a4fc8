// The current-conditions panel as its tests build it: its alert indicator admits the alert
// viewed event once per process, so each test panel borrows that registration and gives it
// back when it goes, and any number of panels can follow one another.
#pragma once

#include <QWidget>

#include "AlertFeedFixture.h"
#include "conditions/CurrentConditionsPanel.h"
#include "services/PropIds.h"

namespace apptest {

class TestPanel : private PropertyIdsLease, public CurrentConditionsPanel {
public:
    explicit TestPanel(QWidget* parent = nullptr)
        : PropertyIdsLease({vpcore::PROP_ALERT_VIEWED}), CurrentConditionsPanel(parent, nullptr) {}
};

}  // namespace apptest
