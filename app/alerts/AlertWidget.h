// The alert indicator of the main window: "No weather alerts" while nothing is in force, a
// blinking "New weather alert" while new or changed alerts wait, a steady "Weather alert" once
// they have been viewed; a click opens the alert details page. The current-conditions panel
// places it. Alert events may arrive on any thread; the label changes on the GUI thread only.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <memory>

#include "services/IPropertyChangeListener.h"
#include "weather/AlertModel.h"

class QLabel;

class AlertWidget : public QWidget, private vpcore::NoPropertyChangeListener {
public:
    // Listens to PROP_ALERTS_CHANGED, PROP_ALERTS_EXPIRED and PROP_ALERT_VIEWED and registers
    // PROP_ALERT_VIEWED, whose publisher is the alert details page; a second indicator in the
    // same process fails with the duplicate-id error. The model may be null (no alerts).
    AlertWidget(std::shared_ptr<vpcore::AlertModel> model, QWidget* parent);
    // Stops listening; PROP_ALERT_VIEWED stays registered.
    ~AlertWidget() override;

    // Applies one alert event to the label (GUI thread).
    virtual void onAlertEvent(short propId);

protected:
    bool event(QEvent* e) override;
    // One blink step.
    void timerEvent(QTimerEvent* e) override;
    // Opens the alert details page while there are alerts to show.
    void mouseReleaseEvent(QMouseEvent* e) override;
    // While blinking: the snapshot of what lies behind, so that a blink step repaints only
    // this widget and not the panel under it.
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    // Any thread: only posts the id to the widget.
    void handlePropertyChange(short propId, const int* const oldValue,
                              const int* const newValue) override;
    void stopBlinking();
    // Takes the snapshot, or drops it (and repaints over the panel again).
    void snapshotBackground();
    void dropBackground();
    // Gives the label back the size its layout chooses, after a blink fixed it.
    void releaseLabelSize();

    std::shared_ptr<vpcore::AlertModel> model;
    QLabel* label = nullptr;
    int blinkTimerId = 0;     // 0 when not blinking
    QPixmap background;       // null when not taken
    bool sizeFrozen = false;  // the label's size is fixed while it blinks
};
