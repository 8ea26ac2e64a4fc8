#include "options/OptionsPageBase.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

#include "base/Settings.h"
#include "services/Logger.h"
#include "widgets/VPMessageBox.h"

OptionsPageBase::OptionsPageBase(const QString& name, QWidget* parent)
    : QWidget(parent, Qt::WindowFlags()), name(name) {
    // The style's own indicators barely show their state on the pages' dark blue; these are
    // the program's own images (tools/images), a tick in a light box and a dot in a ring,
    // grey when disabled. 16 pixels, as the styled frames before them.
    const char* const indicators[][2] = {
        {"QCheckBox::indicator:unchecked", "checkbox_unchecked"},
        {"QCheckBox::indicator:checked", "checkbox_checked"},
        {"QCheckBox::indicator:unchecked:disabled", "checkbox_unchecked_disabled"},
        {"QCheckBox::indicator:checked:disabled", "checkbox_checked_disabled"},
        {"QRadioButton::indicator:unchecked", "radio_unchecked"},
        {"QRadioButton::indicator:checked", "radio_checked"},
        {"QRadioButton::indicator:unchecked:disabled", "radio_unchecked_disabled"},
        {"QRadioButton::indicator:checked:disabled", "radio_checked_disabled"},
    };
    QString sheet = "QCheckBox::indicator, QRadioButton::indicator { width: 16px; height: 16px; }";
    for (const auto& [selector, image] : indicators) {
        sheet += QString(" %1 { image: url(:/Resources/%2.png); }").arg(selector, image);
    }
    setStyleSheet(sheet);
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
    // A light red: plain red has a contrast of about 2.5 to 1 on the dialog's dark blue, this
    // one about 5.
    errorLabel->setStyleSheet(
        "QLabel { color: rgb(255, 160, 160); font-family: Helvetica; font-size: 14px; }");
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
