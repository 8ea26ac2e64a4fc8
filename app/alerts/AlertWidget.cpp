#include "alerts/AlertWidget.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimerEvent>

#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "widgets/PageSwitcher.h"
#include "widgets/VPDataEvent.h"

namespace {

const char* const NO_ALERTS_TEXT = "No weather alerts";
const char* const NEW_ALERT_TEXT = "New weather alert";
const char* const VIEWED_TEXT = "Weather alert";
// Pale yellow: the conditions panel behind the indicator is a middle blue on which no red,
// nor even black, reaches a contrast of 4.5 to 1; this does (white reaches about 4.8).
const char* const ALERT_STYLE =
    "QLabel { color: rgb(255, 255, 200); font-family: Verdana; font-size: 12px;}";
const char* const IDLE_STYLE = "QLabel { color: white; font-family: Helvetica; font-size: 12px; }";
const int BLINK_INTERVAL_MS = 600;
const int LABEL_MIN_WIDTH = 160;

const std::set<short>& listenedIds() {
    static const std::set<short> ids{vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERTS_EXPIRED,
                                     vpcore::PROP_ALERT_VIEWED};
    return ids;
}

}  // namespace

AlertWidget::AlertWidget(std::shared_ptr<vpcore::AlertModel> model, QWidget* parent)
    : QWidget(parent), model(std::move(model)) {
    auto& service = vpcore::NotificationService::Instance();
    // Registered before listening, so that a failed registration leaves no listener behind
    // that points into a widget which was never built.
    service.registerPropertyIds({vpcore::PROP_ALERT_VIEWED});
    service.addPropertyChangeListener<int>(this, listenedIds());

    label = new QLabel(this);
    label->setMinimumWidth(LABEL_MIN_WIDTH);
    label->setText(NO_ALERTS_TEXT);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
}

AlertWidget::~AlertWidget() {
    vpcore::NotificationService::Instance().removePropertyChangeListener<int>(this, listenedIds());
}

void AlertWidget::handlePropertyChange(short propId, const int* const, const int* const) {
    QCoreApplication::postEvent(this, new VPPropertyChange(propId));
}

bool AlertWidget::event(QEvent* e) {
    if (e->type() == VPPropertyChange::eventType()) {
        onAlertEvent(static_cast<VPPropertyChange*>(e)->data());
        e->accept();
        return true;
    }
    return QWidget::event(e);
}

void AlertWidget::onAlertEvent(short propId) {
    switch (propId) {
        case vpcore::PROP_ALERTS_CHANGED:
            if (blinkTimerId == 0) {
                label->setText(NEW_ALERT_TEXT);
                label->setCursor(Qt::PointingHandCursor);
                label->setStyleSheet(ALERT_STYLE);
                blinkTimerId = startTimer(BLINK_INTERVAL_MS);
            }
            break;
        case vpcore::PROP_ALERTS_EXPIRED:
            stopBlinking();
            label->setText(NO_ALERTS_TEXT);
            label->setCursor(Qt::ArrowCursor);
            label->setStyleSheet(IDLE_STYLE);
            break;
        case vpcore::PROP_ALERT_VIEWED:
            stopBlinking();
            label->setText(VIEWED_TEXT);
            break;
        default:
            break;
    }
}

void AlertWidget::timerEvent(QTimerEvent* e) {
    if (e->timerId() != blinkTimerId) {
        QWidget::timerEvent(e);
        return;
    }
    if (!sizeFrozen) {
        // Laid out with its text by now. A label of fixed size does not ask its parent for a
        // new layout when its text changes, so a step costs only its own repaint.
        label->setFixedSize(label->size());
        sizeFrozen = true;
    }
    label->setText(label->text().isEmpty() ? QString(NEW_ALERT_TEXT) : QString());
    if (label->text().isEmpty() && background.isNull()) {
        snapshotBackground();
    }
}

void AlertWidget::releaseLabelSize() {
    if (!sizeFrozen) {
        return;
    }
    sizeFrozen = false;
    label->setMinimumSize(LABEL_MIN_WIDTH, 0);
    label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void AlertWidget::snapshotBackground() {
    // Taken while the label is empty: the picture is then only what lies behind it.
    QWidget* top = window();
    const QPixmap shot = top->grab(QRect(mapTo(top, QPoint(0, 0)), size()));
    if (shot.isNull() || shot.hasAlphaChannel()) {
        return;
    }
    background = shot;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void AlertWidget::dropBackground() {
    if (background.isNull()) {
        return;
    }
    background = QPixmap();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    update();
}

void AlertWidget::paintEvent(QPaintEvent* e) {
    if (!background.isNull()) {
        QPainter painter(this);
        painter.drawPixmap(0, 0, background);
    }
    QWidget::paintEvent(e);
}

void AlertWidget::resizeEvent(QResizeEvent* e) {
    dropBackground();
    // The label follows the new room; the next blink step fixes it again.
    releaseLabelSize();
    QWidget::resizeEvent(e);
}

void AlertWidget::moveEvent(QMoveEvent* e) {
    dropBackground();
    QWidget::moveEvent(e);
}

void AlertWidget::mouseReleaseEvent(QMouseEvent*) {
    if (label->text() == NO_ALERTS_TEXT) {
        return;
    }
    vpcore::AlertModel::AlertList alerts;
    if (model) {
        model->getAlertItems(alerts);
    }
    if (!alerts.empty()) {
        if (PageSwitcher* pages = PageSwitcher::of(this)) {
            pages->setCurrentPage(PageSwitcher::ALERT_PAGE);
        }
        return;
    }
    // Nothing left to show: the blinking stops too, or it would bring the old text back.
    stopBlinking();
    label->setText(NO_ALERTS_TEXT);
}

void AlertWidget::stopBlinking() {
    if (blinkTimerId != 0) {
        killTimer(blinkTimerId);
        blinkTimerId = 0;
    }
    releaseLabelSize();
    dropBackground();
}
