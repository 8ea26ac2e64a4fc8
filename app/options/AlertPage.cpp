#include "options/AlertPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>

#include "base/Settings.h"

AlertPage::AlertPage(QWidget* parent)
    : OptionsPageBase("Alert", parent),
      soundCheckBox(new QCheckBox("Play sound for weather alerts")),
      untilViewedButton(new QRadioButton("Play until alerts have been viewed every")),
      onceButton(new QRadioButton("Play only once")),
      intervalBox(new QSpinBox()) {
    buildHeader();
    QWidget* content = contentWidget();
    soundCheckBox->setObjectName("soundCheckBox");
    untilViewedButton->setObjectName("untilViewedButton");
    onceButton->setObjectName("onceButton");
    intervalBox->setObjectName("intervalBox");

    soundCheckBox->setChecked(readBoolSetting("SOUND_ALERT"));

    auto* group = new QWidget(this);
    auto* groupLayout = new QFormLayout(group);
    groupLayout->addRow(" ", onceButton);
    auto* repeatRow = new QWidget(group);
    auto* repeatLayout = new QHBoxLayout(repeatRow);
    repeatLayout->setContentsMargins(0, 0, 0, 0);
    repeatLayout->addWidget(untilViewedButton);
    repeatLayout->addWidget(intervalBox);
    // In the field column as the other button, so that the two buttons line up.
    groupLayout->addRow(" ", repeatRow);

    const bool untilViewed = readBoolSetting("PLAY_ALERT_UNTIL_VIEWED");
    untilViewedButton->setChecked(untilViewed);
    onceButton->setChecked(!untilViewed);
    auto* buttons = new QButtonGroup(this);
    buttons->setExclusive(true);
    buttons->addButton(onceButton);
    buttons->addButton(untilViewedButton);

    intervalBox->setRange(1, 30);
    intervalBox->setSingleStep(1);
    intervalBox->setSuffix(" minute(s)");
    // A stored value out of range is shown, and saved again, clamped to the range.
    intervalBox->setValue(readIntSetting("PLAY_ALERT_INTERVAL_IN_MIN"));

    auto* layout = new QFormLayout(content);
    layout->addRow(soundCheckBox);
    layout->addRow(" ", group);

    if (!soundCheckBox->isChecked()) {
        onceButton->setEnabled(false);
        untilViewedButton->setEnabled(false);
    }
    if (!untilViewedButton->isChecked()) {
        intervalBox->setEnabled(false);
    }
    connect(soundCheckBox, &QCheckBox::toggled, onceButton, &QWidget::setEnabled);
    connect(soundCheckBox, &QCheckBox::toggled, untilViewedButton, &QWidget::setEnabled);
    connect(untilViewedButton, &QRadioButton::toggled, intervalBox, &QWidget::setEnabled);
}

void AlertPage::save() {
    QSettings settings;
    settings.setValue("SOUND_ALERT", soundCheckBox->isChecked());
    settings.setValue("PLAY_ALERT_UNTIL_VIEWED",
                      untilViewedButton->isChecked() && soundCheckBox->isChecked());
    settings.setValue("PLAY_ALERT_INTERVAL_IN_MIN", intervalBox->value());
    commitSettings(settings);
}
