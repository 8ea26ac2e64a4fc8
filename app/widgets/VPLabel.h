// A label whose text may be set from any thread: post it a VPDataEventQString. The two-sided
// data widgets and the panels use it for values that arrive on the core's worker threads.
// heightOfLines serves any label that keeps room for a number of lines.
#pragma once

#include <QLabel>

class VPLabel : public QLabel {
public:
    explicit VPLabel(QWidget* parent);

    // The height the label needs for that many lines of the font its style sheet gives it
    // (it is polished first), its margins included.
    static int heightOfLines(QLabel& label, int lines);

protected:
    bool event(QEvent* e) override;
};
