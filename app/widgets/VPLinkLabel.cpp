#include "widgets/VPLinkLabel.h"

#include <QImage>
#include <QMouseEvent>
#include <QPixmap>

VPLinkLabel::VPLinkLabel(QWidget* parent) : QLabel(parent) {
    setMouseTracking(true);
    setLinkStyle(true);
}

void VPLinkLabel::setLinkStyle(bool active) {
    if (active) {
        setStyleSheet(
            "QLabel { color: blue; font-family: Helvetica; font-size: 12px; text-decoration: "
            "underline; }");
        setCursor(Qt::PointingHandCursor);
    } else {
        setStyleSheet(
            "QLabel { color: gray; font-family: Helvetica; font-size: 12px; text-decoration: "
            "underline; }");
        setCursor(Qt::ArrowCursor);
    }
    setAttribute(Qt::WA_ForceDisabled, !active);
    linkActive = active;
}

void VPLinkLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && linkActive) {
        emit clicked(this);
    }
}

bool VPLinkLabel::event(QEvent* e) {
    if (e->type() == VPLinkLabelEvent::eventType()) {
        const EventInfo info = static_cast<VPLinkLabelEvent*>(e)->data();
        setVisible(info.visible);
        setUrl(info.url);
        if (!info.text.isEmpty()) {
            setPixmap(QPixmap::fromImage(QImage()));
        }
        setText(info.text);
        return true;
    }
    return QLabel::event(e);
}
