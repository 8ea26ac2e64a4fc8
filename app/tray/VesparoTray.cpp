#include "tray/VesparoTray.h"

#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QTimerEvent>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <set>

#include "services/Converter.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "widgets/VPDataEvent.h"

using vpcore::AbstractGaugeViewModelFloat;
using vpcore::NotificationService;

namespace {

const std::set<short> kAlertIds = {vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERTS_EXPIRED,
                                   vpcore::PROP_ALERT_VIEWED};

}  // namespace

std::string formatFloat(float value) {
    const std::optional<int> degrees = vpcore::Converter::roundToInt(value);
    return degrees ? std::to_string(*degrees) : std::string(vpcore::Converter::NO_READING);
}

VesparoTray::VesparoTray(QObject* parent, AbstractGaugeViewModelFloat* frontModel,
                         AbstractGaugeViewModelFloat* backModel)
    : QSystemTrayIcon(parent), frontModel(frontModel), backModel(backModel) {
    drawIcon();

    QMenu* menu = new QMenu(qobject_cast<QWidget*>(parent));
    QAction* open = new QAction("Open Ombrix", this);
    QAction* exit = new QAction("Exit", this);
    connect(open, &QAction::triggered, this, &VesparoTray::show);
    connect(exit, &QAction::triggered, this, &VesparoTray::onExit);
    menu->addAction(open);
    menu->addAction(exit);
    setContextMenu(menu);

    connect(this, &QSystemTrayIcon::activated, this, &VesparoTray::onActivated);

    typedef fastdelegate::FastDelegate2<short, float> TemperatureDelegate;
    frontModel->setPropertyChangeDelegate(
        TemperatureDelegate(this, &VesparoTray::onTemperatureChanged));
    backModel->setPropertyChangeDelegate(
        TemperatureDelegate(this, &VesparoTray::onTemperatureChanged));
    frontModel->setActiveDelegate(
        fastdelegate::FastDelegate1<bool>(this, &VesparoTray::onActiveChanged));

    NotificationService::Instance().addPropertyChangeListener<int>(this, kAlertIds);
    // The main window makes the tray after the location service has registered the id, and
    // chooses the saved location after that.
    if (NotificationService::Instance().getRegisteredPropertyIds().count(
            vpcore::PROP_CURRENT_LOCATION) != 0) {
        NotificationService::Instance().addPropertyChangeListener<std::string>(
            this, {vpcore::PROP_CURRENT_LOCATION});
        hearsLocation = true;
    }
    updateToolTip();
}

VesparoTray::~VesparoTray() {
    // After removal no worker thread is inside handlePropertyChange any more. The models are
    // not touched: in the main window they are freed before its child widgets, the tray
    // among them.
    NotificationService::Instance().removePropertyChangeListener<int>(this, kAlertIds);
    if (hearsLocation) {
        NotificationService::Instance().removePropertyChangeListener<std::string>(
            this, {vpcore::PROP_CURRENT_LOCATION});
    }
    // Without a parent widget the menu has no owner but the tray.
    QMenu* menu = contextMenu();
    if (menu != nullptr && menu->parent() == nullptr) {
        delete menu;
    }
}

void VesparoTray::handlePropertyChange(short propId, const int* const, const int* const) {
    QCoreApplication::postEvent(this, new VPPropertyChange(propId));
}

void VesparoTray::handlePropertyChange(short propId, const std::string* const,
                                       const std::string* const newValue) {
    if (propId != vpcore::PROP_CURRENT_LOCATION) {
        return;
    }
    const QString name = newValue != nullptr ? QString::fromStdString(*newValue) : QString();
    // Dropped with the tray if it goes first.
    QMetaObject::invokeMethod(
        this, [this, name] { setLocationName(name); }, Qt::QueuedConnection);
}

void VesparoTray::setLocationName(const QString& name) {
    locationName = name;
    updateToolTip();
}

QString VesparoTray::toolTipText(const QString& location, const QString& temperature,
                                 bool fahrenheit) {
    const bool known =
        std::any_of(temperature.begin(), temperature.end(), [](QChar c) { return c.isDigit(); });
    const QString reading =
        known ? temperature + QString::fromUtf8(fahrenheit ? " \u00b0F" : " \u00b0C")
              : QString("no temperature yet");
    if (location.isEmpty()) {
        return "Ombrix\nNo location chosen";
    }
    return "Ombrix\n" + location + ": " + reading;
}

void VesparoTray::updateToolTip() {
    const QString tip = toolTipText(locationName, iconText, frontModel->isActive());
    if (toolTip() != tip) {
        setToolTip(tip);
    }
}

void VesparoTray::onTemperatureChanged(short propId, float value) {
    const QString text = QString::fromStdString(formatFloat(value));
    if ((frontModel->isActive() && propId == vpcore::PROP_TEMP_F) ||
        (backModel->isActive() && propId == vpcore::PROP_TEMP_C)) {
        QCoreApplication::postEvent(this, new VPDataEventQString(text));
    }
}

void VesparoTray::onActiveChanged(bool frontActive) {
    const float value = frontActive ? frontModel->getValue() : backModel->getValue();
    iconText = QString::fromStdString(formatFloat(value));
    drawIcon();
}

void VesparoTray::drawIcon() {
    if (cachedText != iconText || cachedIcons[0].isNull()) {
        cachedText = iconText;
        cachedIcons[0] = QIcon(renderIcon(iconText, Qt::white));
        cachedIcons[1] = QIcon(renderIcon(iconText, Qt::red));
    }
    setIcon(cachedIcons[backgroundColor == Qt::white ? 0 : 1]);
    updateToolTip();
}

QFont VesparoTray::iconFont(const QString& text) {
    return QFont("Courier New", text.size() < 3 ? 10 : 7, QFont::Bold, false);
}

QPixmap VesparoTray::renderIcon(const QString& text, Qt::GlobalColor background) {
    QPixmap pixmap(16, 16);
    QPainter painter(&pixmap);
    painter.fillRect(pixmap.rect(), background);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::black);
    painter.setFont(iconFont(text));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, text);
    painter.end();
    return pixmap;
}

bool VesparoTray::event(QEvent* e) {
    if (e->type() == VPDataEventQString::eventType()) {
        iconText = static_cast<VPDataEventQString*>(e)->data();
        drawIcon();
        return true;
    }
    if (e->type() == VPPropertyChange::eventType()) {
        switch (static_cast<VPPropertyChange*>(e)->data()) {
            case vpcore::PROP_ALERTS_CHANGED:
                if (blinkTimerId == 0) {
                    blinkTimerId = startTimer(600);
                }
                break;
            case vpcore::PROP_ALERTS_EXPIRED:
                if (blinkTimerId != 0) {
                    killTimer(blinkTimerId);
                    blinkTimerId = 0;
                }
                backgroundColor = Qt::white;
                drawIcon();
                break;
            case vpcore::PROP_ALERT_VIEWED:
                if (blinkTimerId != 0) {
                    killTimer(blinkTimerId);
                    blinkTimerId = 0;
                    backgroundColor = Qt::red;
                    drawIcon();
                }
                break;
            default:
                break;
        }
        return true;
    }
    return QSystemTrayIcon::event(e);
}

void VesparoTray::timerEvent(QTimerEvent* e) {
    if (e->timerId() != blinkTimerId) {
        QSystemTrayIcon::timerEvent(e);
        return;
    }
    backgroundColor = backgroundColor == Qt::white ? Qt::red : Qt::white;
    drawIcon();
}

void VesparoTray::onActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        show();
    }
}

void VesparoTray::onExit() {
    vpcore::Logger::Instance().log("INFO", "Vesparo exiting from system tray.");
    QCoreApplication::quit();
}

void VesparoTray::show() {
    QWidget* window = qobject_cast<QWidget*>(parent());
    if (window != nullptr) {
        window->setVisible(true);
        window->activateWindow();
    }
}
