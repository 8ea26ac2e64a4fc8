#include "options/AboutPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QSettings>

AboutPage::AboutPage(QWidget* parent) : OptionsPageBase("About", parent) {
    buildHeader();
    QWidget* content = contentWidget();
    auto* layout = new QFormLayout(content);
    layout->addRow(new QLabel("Ombrix"));
    // The version the main window stores at every start.
    auto* version = new QLabel("Version " + QSettings().value("Ombrix", QVariant()).toString());
    version->setObjectName("versionLabel");
    layout->addRow(version);
}

QString AboutPage::title() const {
    return pageName() + " Ombrix";
}
