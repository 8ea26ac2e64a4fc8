#include "options/OptionsPageBase.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

#include "Settings.h"
#include "VPMessageBox.h"
#include "services/Logger.h"

OptionsPageBase::OptionsPageBase(const QString& name, QWidget* parent)
    : QWidget(parent, Qt::WindowFlags()), name(name) {
    // On the pages' dark blue the style's own indicators show their ticked state barely: a
    // white frame that is filled white when ticked (a dot for a radio button), greyed when
    // the control is disabled.
    setStyleSheet(
        "QCheckBox::indicator, QRadioButton::indicator { width: 12px; height: 12px; "
        "border: 2px solid white; background: rgb(25, 25, 112); }"
        " QRadioButton::indicator { border-radius: 8px; }"
        " QCheckBox::indicator:checked { background: white; }"
        " QRadioButton::indicator:checked { background: qradialgradient(cx: 0.5, cy: 0.5, "
        "radius: 0.5, fx: 0.5, fy: 0.5, stop: 0 white, stop: 0.55 white, stop: 0.65 "
        "rgb(25, 25, 112), stop: 1 rgb(25, 25, 112)); }"
        " QCheckBox::indicator:disabled, QRadioButton::indicator:disabled { border-color: "
        "gray; }"
        " QCheckBox::indicator:checked:disabled { background: gray; }"
        " QRadioButton::indicator:checked:disabled { background: qradialgradient(cx: 0.5, "
        "cy: 0.5, radius: 0.5, fx: 0.5, fy: 0.5, stop: 0 gray, stop: 0.55 gray, stop: 0.65 "
        "rgb(25, 25, 112), stop: 1 rgb(25, 25, 112)); }");
}

bool OptionsPageBase::validate(QString&) {
    return true;
}

void OptionsPageBase::resetAll() {
    clearError();
}

QString OptionsPageBase::title() const {
    return name + " Options";
}

void OptionsPageBase::setError(const QString& text) {
    if (errorLabel != nullptr) {
        errorLabel->setText(text);
    }
}

void OptionsPageBase::clearError() {
    setError(QString());
}

bool OptionsPageBase::commitSettings(QSettings& settings, const QStringList& otherFailures) {
    QStringList failures = otherFailures;
    QString error;
    const bool written = syncSettings(settings, error);
    if (!written) {
        failures.append(error +
                        " The change is in effect until Ombrix exits, but it will be "
                        "lost at the next start.");
    }
    QStringList untold;
    for (const QString& failure : failures) {
        vpcore::Logger::Instance().log("ERROR", failure.toStdString());
        if (!toldWriteFailures.contains(failure)) {
            untold.append(failure);
        }
    }
    // Every later save of the page meets the same full disk; one box says it.
    toldWriteFailures = failures;
    if (!untold.isEmpty()) {
        VPMessageBox::information(this, QString(), untold.join("\n\n"));
    }
    return written;
}

void OptionsPageBase::buildHeader() {
    auto* header = new QWidget(this);
    auto* headerLayout = new QHBoxLayout(header);
    auto* titleLabel = new QLabel(title(), header);
    titleLabel->setObjectName("titleLabel");
    errorLabel = new QLabel(header);
    errorLabel->setObjectName("errorLabel");
    errorLabel->setStyleSheet("QLabel { color: red; font-family: Helvetica; font-size: 14px; }");
    headerLayout->addWidget(titleLabel, 0);
    headerLayout->addWidget(errorLabel, 0);

    pageLayout = new QVBoxLayout(this);
    pageLayout->addWidget(header, 0);
    pageLayout->addWidget(
        new QLabel("_____________________________________________________________", this), 0);
}

QWidget* OptionsPageBase::contentWidget() {
    if (content == nullptr) {
        content = new QWidget();
        if (parentWidget() != nullptr) {
            content->setMinimumHeight(parentWidget()->height() - 40);
        }
        pageLayout->addWidget(content, 0);
    }
    return content;
}
