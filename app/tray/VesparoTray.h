// The program's system tray icon: the current temperature, rounded, drawn on a 16 by 16 icon in
// the unit of the temperature gauge's face that shows; the background blinks white/red when new
// alerts arrive, stays red once they were viewed and turns white when they expire. A click or
// "Open Ombrix" shows the main window again; "Exit" ends the program. Made by the main window
// on the GUI thread; the gauge models and the notification service call it on worker threads.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QSystemTrayIcon>
#include <string>

#include "display/AbstractGaugeViewModelFloat.h"
#include "services/IPropertyChangeListener.h"

class VesparoTray : public QSystemTrayIcon,
                    public vpcore::NoPropertyChangeListener,
                    public vpcore::StringPropertyChangeListener {
    Q_OBJECT
public:
    // The models (the Fahrenheit and the Celsius face) are not owned. They call the tray through
    // their delegates until they are destroyed, so they must go before the tray does.
    VesparoTray(QObject* parent, vpcore::AbstractGaugeViewModelFloat* frontModel,
                vpcore::AbstractGaugeViewModelFloat* backModel);
    ~VesparoTray() override;

    // Alerts changed, expired or viewed; any thread. Posts the id to the tray.
    void handlePropertyChange(short propId, const int* const oldValue,
                              const int* const newValue) override;
    // The current location changed (its display name); any thread. Queued to the tray.
    void handlePropertyChange(short propId, const std::string* const oldValue,
                              const std::string* const newValue) override;
    // The place the tool tip names; empty for none.
    void setLocationName(const QString& name);

    // The tool tip: the program, the place and its temperature in the unit shown ("73",
    // "fahrenheit" true: "73 °F"); a temperature without digits is not known yet.
    static QString toolTipText(const QString& location, const QString& temperature,
                               bool fahrenheit);
    // The models' property delegate; any thread. Posts the text when the face of that unit shows.
    void onTemperatureChanged(short propId, float value);
    // The Fahrenheit model's active delegate: the gauge flipped (GUI thread).
    void onActiveChanged(bool frontActive);

    void drawIcon();

    // The icon's picture: text centred in bold "Courier New" on the background colour.
    static QPixmap renderIcon(const QString& text, Qt::GlobalColor background);
    // Point size 10 for up to two characters, 7 for longer texts.
    static QFont iconFont(const QString& text);

    bool event(QEvent* e) override;

protected:
    void timerEvent(QTimerEvent* e) override;

private slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onExit();
    void show();

private:
    vpcore::AbstractGaugeViewModelFloat* frontModel;
    vpcore::AbstractGaugeViewModelFloat* backModel;
    void updateToolTip();

    QString iconText = "NA";
    QString locationName;
    bool hearsLocation = false;  // listens to the current location's id
    Qt::GlobalColor backgroundColor = Qt::white;
    int blinkTimerId = 0;
    // The icon of iconText on white and on red: a blink only swaps them.
    QString cachedText;
    QIcon cachedIcons[2];
};

// The whole degrees the tray shows: "73" for 72.5, "-3" for -2.5, "0" for 0; "NA" for no
// reading (NaN) and for a value no int holds.
std::string formatFloat(float value);
