// Helpers for the desktop program's tests: waiting for the GUI thread's event loop to reach a
// condition, and seeing the message boxes the program would show.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QSettings>
#include <QString>
#include <QThread>
#include <QToolTip>
#include <QVariantList>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "WaitUntil.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "weather/LocationService.h"
#include "widgets/VPMessageBox.h"

namespace apptest {

// The GUI thread's wait: its event loop runs until condition() holds or timeoutMs pass.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    return testsupport::waitUntil(condition, timeoutMs, testsupport::WhileWaiting::RunEvents);
}

// Lets the posted events that are already queued be delivered.
inline void drainEvents() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

// Property 17 (the current location) is registered by its publisher, the location service,
// when it is first used.
inline void registerCurrentLocationId() {
    vpcore::LocationService::Instance();
}

// Records the message boxes instead of showing them, for its lifetime.
class MessageBoxRecorder {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    MessageBoxRecorder() {
        VPMessageBox::setShower(
            [this](QMessageBox::Icon icon, QWidget*, const QString& title, const QString& text) {
                boxes.push_back({icon, title, text});
            });
    }
    ~MessageBoxRecorder() { VPMessageBox::setShower(nullptr); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<Box> boxes;
};

// Reads a process's output as it comes, until a condition on everything read so far holds.
inline bool readUntil(QProcess& process, QByteArray& seen, const std::function<bool()>& condition,
                      int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < timeoutMs && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        seen += process.readAll();
    }
    seen += process.readAll();
    return condition();
}

// The saved location list of Austin, TX, whose every feed the fixture NWS serves.
inline QVariantList austinLocation() {
    return {"78701",     "TXC453", "KATT", "Austin Camp Mabry", "EWX", "Austin/San Antonio",
            "Austin, TX"};
}

// Writes the locations (and the current one, unless empty) into a program's settings file, with
// sounds off, as a user's earlier run would have left them.
inline void saveProgramSettings(const QString& iniPath, const QVariantList& locations,
                                const QString& current) {
    QSettings settings(iniPath, QSettings::IniFormat);
    settings.setValue("ALL_LOCATIONS", locations);
    if (!current.isEmpty()) {
        settings.setValue("CURRENT_LOCATION", current);
    }
    settings.setValue("PLAY_SOUNDS", false);
}

// The environment of the real program on the profile folder, with every feed and the
// connectivity check on the fixture NWS at host ("127.0.0.1:port"), shown on the display.
inline QProcessEnvironment programEnvironment(const QString& profile, const QString& host,
                                              const QString& display) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", profile);
    for (const char* variable : {"OMBRIX_NWS_HOST", "OMBRIX_FORECAST_HOST", "OMBRIX_ALERTS_HOST",
                                 "OMBRIX_RADAR_HOST", "OMBRIX_HOME_HOST"}) {
        environment.insert(variable, host);
    }
    environment.insert("OMBRIX_CONNECTIVITY_URL", "http://" + host + "/");
    environment.insert("DISPLAY", display);
    return environment;
}

// Empties the process's settings but for the installed version, which the main window's set-up
// writes when it differs: the next test finds it as the program leaves it.
inline void clearSettingsButVersion() {
    QSettings settings;
    for (const QString& key : settings.allKeys()) {
        if (key != "Ombrix") {
            settings.remove(key);
        }
    }
}

// Lets a test build the publishers of ids that the process has registered already (the
// location service's alert model, the indicator of a main window built earlier), and leaves
// the registrations as it found them.
class PropertyIdsLease {
public:
    explicit PropertyIdsLease(std::set<short> ids) : ids(std::move(ids)) {
        auto& service = vpcore::NotificationService::Instance();
        const std::set<short> registered = service.getRegisteredPropertyIds();
        for (short id : this->ids) {
            if (registered.count(id) != 0) {
                heldBefore.insert(id);
            }
        }
        if (!heldBefore.empty()) {
            service.unRegisterPropertyIds(heldBefore);
        }
    }
    ~PropertyIdsLease() {
        auto& service = vpcore::NotificationService::Instance();
        service.unRegisterPropertyIds(ids);
        if (!heldBefore.empty()) {
            service.registerPropertyIds(heldBefore);
        }
    }
    PropertyIdsLease(const PropertyIdsLease&) = delete;
    PropertyIdsLease& operator=(const PropertyIdsLease&) = delete;

private:
    const std::set<short> ids;
    std::set<short> heldBefore;
};

// The ids a main window registers once per process and keeps (its comfort level's and its
// alert indicator's): a test that builds a main window holds this lease around it, so that it
// runs whichever test built one before.
class MainWindowIdsLease : public PropertyIdsLease {
public:
    MainWindowIdsLease()
        : PropertyIdsLease({vpcore::PROP_DEWPOINT_COMFORT_LEVEL, vpcore::PROP_ALERT_VIEWED}) {}
};

// WCAG's contrast ratio of two colours, 1 to 21.
inline double contrastRatio(QRgb a, QRgb b) {
    const auto luminance = [](QRgb c) {
        const auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The lowest contrast of the label's text colour with what lies behind the label in its
// window (the window drawn off the screen, with the label's text taken away for the moment:
// other windows on the display do not count).
inline double worstContrastBehind(QLabel* label) {
    label->ensurePolished();
    const QRgb ink = label->palette().color(label->foregroundRole()).rgb();
    const QString text = label->text();
    label->setText(QString());
    QWidget* top = label->window();
    const QImage window = top->grab().toImage();
    label->setText(text);
    const QImage behind = window.copy(QRect(label->mapTo(top, QPoint(0, 0)), label->size()));
    double worst = behind.isNull() ? 1.0 : 21.0;
    for (int y = 0; y < behind.height(); ++y) {
        for (int x = 0; x < behind.width(); ++x) {
            worst = std::min(worst, contrastRatio(ink, behind.pixel(x, y)));
        }
    }
    return worst;
}

// What a tool tip shown on the screen looks like to its reader.
struct ShownToolTip {
    QString text;        // what the tip says; empty when none showed
    QRgb background{};   // the commonest colour inside its frame
    int textPixels = 0;  // pixels inside the frame that stand out from it (ratio 3 or more)
    double bestContrast = 1.0;
};

// Shows widget's tool tip as hovering would, and reads what the tip draws.
inline ShownToolTip showToolTip(QWidget* widget) {
    ShownToolTip seen;
    const auto visibleTip = []() -> QLabel* {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->inherits("QTipLabel") && top->isVisible()) {
                return qobject_cast<QLabel*>(top);
            }
        }
        return nullptr;
    };
    // A tip still up from before goes first (it fades out on a timer of its own).
    QToolTip::hideText();
    waitFor([&] { return visibleTip() == nullptr; });
    QLabel* tip = nullptr;
    const auto up = [&] {
        tip = visibleTip();
        if (tip == nullptr || tip->text() != widget->toolTip()) {
            QToolTip::showText(widget->mapToGlobal(widget->rect().center()), widget->toolTip(),
                               widget);
            return false;
        }
        return true;
    };
    if (!waitFor(up)) {
        return seen;
    }
    seen.text = tip->text();
    // Drawn by the tip itself, as it draws on the screen: read from the screen, the tip would
    // have to stay up while other test programs on the same display take the focus (which
    // hides every tip). A background left transparent reads as black here as it does there.
    const QImage image = tip->grab().toImage();
    const int margin = 2;  // the frame
    std::map<QRgb, int> counts;
    for (int y = margin; y < image.height() - margin; ++y) {
        for (int x = margin; x < image.width() - margin; ++x) {
            ++counts[image.pixel(x, y) | 0xFF000000u];
        }
    }
    if (counts.empty()) {
        return seen;
    }
    seen.background = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                          return a.second < b.second;
                      })->first;
    for (const auto& [colour, count] : counts) {
        const double ratio = contrastRatio(colour, seen.background);
        if (ratio >= 3.0) {
            seen.textPixels += count;
        }
        seen.bestContrast = std::max(seen.bestContrast, ratio);
    }
    QToolTip::hideText();
    return seen;
}

}  // namespace apptest
