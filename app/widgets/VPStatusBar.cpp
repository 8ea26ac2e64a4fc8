#include "widgets/VPStatusBar.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include "widgets/VPDataEvent.h"
#include "widgets/VPMessageBox.h"

VPStatusBar::VPStatusBar(QWidget* parent)
    : QStatusBar(parent), progressBar(new QProgressBar(this)), standing(new QLabel(this)) {
    standing->setObjectName("standingMessage");
    standing->hide();
    // A normal widget: the bar hides it while a passing message shows and shows it again after.
    addWidget(standing, 1);
    progressBar->setMaximumWidth(200);
    addPermanentWidget(progressBar, 0);
    auto* spacer = new QLabel(this);
    spacer->setMinimumWidth(50);
    addPermanentWidget(spacer, 0);
}

void VPStatusBar::setStandingMessage(const QString& text) {
    standing->setText(text);
    if (text.isEmpty()) {
        // Hidden on purpose: the bar leaves it hidden after a passing message.
        standing->hide();
    } else if (currentMessage().isEmpty()) {
        standing->show();
    } else {
        // Under a passing message: hidden as the bar hides it, so that the bar shows it again
        // once the message has gone.
        standing->hide();
        standing->setAttribute(Qt::WA_WState_ExplicitShowHide, false);
    }
}

QString VPStatusBar::standingMessage() const {
    return standing->text();
}

bool VPStatusBar::event(QEvent* e) {
    if (e->type() == VPDataEventStatusMessage::eventType()) {
        const vpcore::StatusMessage_t message = static_cast<VPDataEventStatusMessage*>(e)->data();
        const QString text = QString::fromStdString(message.message);
        if (message.popup != 0) {
            VPMessageBox::information(this, QCoreApplication::applicationName(), text);
        } else {
            showMessage(text, 5000);
            showingProgress = false;
        }
        return true;
    }
    if (e->type() == VPDataEventProgressInfo::eventType()) {
        const vpcore::ProgressInfo_t info = static_cast<VPDataEventProgressInfo*>(e)->data();
        if (info.state == 1) {
            progressBar->setRange(0, 0);
            showMessage(QString::fromStdString(info.description), 0);
            showingProgress = true;
        } else if (info.state == 0) {
            progressBar->setRange(-1, -1);
            progressBar->reset();
            if (showingProgress) {
                clearMessage();
            }
            showingProgress = false;
        }
    }
    return QStatusBar::event(e);
}
