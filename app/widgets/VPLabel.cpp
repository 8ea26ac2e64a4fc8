#include "widgets/VPLabel.h"

#include "widgets/VPDataEvent.h"

VPLabel::VPLabel(QWidget* parent) : QLabel(parent) {}

bool VPLabel::event(QEvent* e) {
    if (e->type() == VPDataEventQString::eventType()) {
        setText(static_cast<VPDataEventQString*>(e)->data());
        return true;
    }
    return QLabel::event(e);
}
