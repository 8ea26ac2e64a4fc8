#include "options/SoundsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QSettings>

#include "base/Settings.h"

SoundsPage::SoundsPage(QWidget* parent)
    : OptionsPageBase("Sounds", parent),
      effectsCheckBox(new QCheckBox("Play sound effects ( does not affect alerts )")) {
    buildHeader();
    QWidget* content = contentWidget();
    effectsCheckBox->setObjectName("effectsCheckBox");
    effectsCheckBox->setChecked(readBoolSetting("PLAY_SOUNDS"));
    auto* layout = new QFormLayout(content);
    layout->addRow(effectsCheckBox);
}

void SoundsPage::save() {
    QSettings settings;
    settings.setValue("PLAY_SOUNDS", effectsCheckBox->isChecked());
    commitSettings(settings);
}
