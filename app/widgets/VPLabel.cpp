#include "widgets/VPLabel.h"

#include <QStringList>

#include "widgets/VPDataEvent.h"

VPLabel::VPLabel(QWidget* parent) : QLabel(parent) {}

int VPLabel::heightOfLines(QLabel& label, int lines) {
    label.ensurePolished();
    QStringList sample;
    for (int i = 0; i < lines; ++i) {
        sample << QStringLiteral("X");
    }
    const QMargins margins = label.contentsMargins();
    return label.fontMetrics()
               .boundingRect(QRect(0, 0, 10000, 10000),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, sample.join('\n'))
               .height() +
           margins.top() + margins.bottom() + 2 * label.margin();
}

bool VPLabel::event(QEvent* e) {
    if (e->type() == VPDataEventQString::eventType()) {
        setText(static_cast<VPDataEventQString*>(e)->data());
        return true;
    }
    return QLabel::event(e);
}
