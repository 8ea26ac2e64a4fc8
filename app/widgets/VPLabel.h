// A label whose text may be set from any thread: post it a VPDataEventQString. The two-sided
// data widgets and the panels use it for values that arrive on the core's worker threads.
#pragma once

#include <QLabel>

class VPLabel : public QLabel {
public:
    explicit VPLabel(QWidget* parent);

protected:
    bool event(QEvent* e) override;
};
