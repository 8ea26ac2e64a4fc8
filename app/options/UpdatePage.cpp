#include "options/UpdatePage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFormLayout>
#include <QLabel>
#include <QThread>
#include <QUrl>
#include <memory>

#include "UpdateChecker.h"
#include "VPLinkLabel.h"
#include "services/Logger.h"

namespace {

struct UpdateAnswer {
    bool newer = false;
    float latestVersion = 0.0f;
};

}  // namespace

UpdatePage::UpdatePage(QWidget* parent)
    : OptionsPageBase("Update", parent),
      layout(nullptr),
      messageLabel(new QLabel("Latest version is installed. No updates available.")) {
    buildHeader();
    layout = new QFormLayout(contentWidget());
    messageLabel->setObjectName("updateMessage");
    layout->addRow(messageLabel);

    // The answer travels in a shared record that the worker fills before it finishes; the
    // page hears of it through the thread's finished signal, which Qt drops if the page has
    // gone by then.
    auto answer = std::make_shared<UpdateAnswer>();
    QThread* check = QThread::create([answer] {
        QString error;
        answer->newer = UpdateChecker::instance().checkForUpdate(error, answer->latestVersion);
        if (!error.isEmpty()) {
            vpcore::Logger::Instance().log("ERROR", error.toStdString());
        }
    });
    connect(check, &QThread::finished, this,
            [this, answer] { showUpdate(answer->newer, answer->latestVersion); });
    connect(check, &QThread::finished, check, &QObject::deleteLater);
    // The fetch must not outlive the services it uses at exit.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, check,
            [check] { check->wait(); });
    check->start();
}

QString UpdatePage::title() const {
    return pageName();
}

void UpdatePage::showUpdate(bool newer, float latestVersion) {
    checking = false;
    if (!newer) {
        return;
    }
    messageLabel->setText("A new Ombrix version is available!");
    const QString version = QString::number(latestVersion, 'g', 6);
    auto* download = new QLabel("Click the link to download version " + version);
    download->setObjectName("downloadLabel");
    auto* link = new VPLinkLabel(nullptr);
    link->setObjectName("downloadLink");
    link->setText("Ombrix " + version);
    link->setUrl(UpdateChecker::instance().homePageUrl());
    connect(link, &VPLinkLabel::clicked, this, &UpdatePage::onUpdateLinkClicked);
    layout->addRow(download);
    layout->addRow(link);
}

void UpdatePage::onUpdateLinkClicked(VPLinkLabel* link) {
    if (link != nullptr && !link->url().isEmpty()) {
        QDesktopServices::openUrl(QUrl(link->url()));
    }
}
