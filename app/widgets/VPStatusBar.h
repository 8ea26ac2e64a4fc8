// The status bar of every VespWindow: shows the core's status messages for five seconds (or
// in a message box when they ask for one) and a busy indicator while a task reports progress.
// Fed only by posted VPDataEventStatusMessage / VPDataEventProgressInfo events.
#pragma once

#include <QStatusBar>

class QProgressBar;

class VPStatusBar : public QStatusBar {
public:
    explicit VPStatusBar(QWidget* parent);

    QProgressBar* progressBarWidget() const { return progressBar; }

protected:
    bool event(QEvent* e) override;

private:
    QProgressBar* progressBar;  // a child of the bar
    // True while the message shown is the running task's description: only that one is
    // cleared when the progress ends. A task's failure message arrives before its end of
    // progress and keeps its five seconds.
    bool showingProgress = false;
};
