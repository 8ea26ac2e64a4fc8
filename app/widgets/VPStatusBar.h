// The status bar of every VespWindow: shows the core's status messages for five seconds (or
// in a message box when they ask for one), a busy indicator while a task reports progress, and
// under both a standing message set by the window.
// Fed only by posted VPDataEventStatusMessage / VPDataEventProgressInfo events.
#pragma once

#include <QStatusBar>

class QLabel;
class QProgressBar;

class VPStatusBar : public QStatusBar {
public:
    explicit VPStatusBar(QWidget* parent);

    QProgressBar* progressBarWidget() const { return progressBar; }

    // A text that stays until it is replaced or cleared (an empty text), shown whenever no
    // passing message or task description is: a state that lasts, not an event.
    void setStandingMessage(const QString& text);
    QString standingMessage() const;

protected:
    bool event(QEvent* e) override;

private:
    QProgressBar* progressBar;  // a child of the bar
    QLabel* standing;           // a child of the bar; the bar hides it under a passing message
    // True while the message shown is the running task's description: only that one is
    // cleared when the progress ends. A task's failure message arrives before its end of
    // progress and keeps its five seconds.
    bool showingProgress = false;
};
