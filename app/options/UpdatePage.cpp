#include "options/UpdatePage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "base/UpdateChecker.h"
#include "services/Logger.h"
#include "widgets/VPLinkLabel.h"

namespace {

struct UpdateAnswer {
    bool failed = false;
    bool newer = false;
    QVersionNumber latestVersion;
};

// The checks that have not finished yet; touched on the GUI thread only.
std::vector<QPointer<QThread>>& runningChecks() {
    static std::vector<QPointer<QThread>> checks;
    return checks;
}

// Runs as the application object goes: a check still fetching would otherwise use the
// network and settings services while they are torn down.
void waitForRunningChecks() {
    for (const QPointer<QThread>& check : runningChecks()) {
        if (check) {
            check->wait();
        }
    }
    runningChecks().clear();
}

void trackCheck(QThread* check) {
    static bool waitsAtExit = false;
    if (!waitsAtExit) {
        qAddPostRoutine(waitForRunningChecks);
        waitsAtExit = true;
    }
    runningChecks().emplace_back(check);
}

}  // namespace

UpdatePage::UpdatePage(QWidget* parent)
    : OptionsPageBase("Update", parent),
      layout(nullptr),
      messageLabel(new QLabel("Checking for updates ...")) {
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
        // An unreadable version file leaves no error but no usable version either.
        answer->failed = !error.isEmpty() || answer->latestVersion.isNull();
        if (!error.isEmpty()) {
            vpcore::Logger::Instance().log("ERROR", error.toStdString());
        }
    });
    connect(check, &QThread::finished, this,
            [this, answer] { showUpdate(answer->failed, answer->newer, answer->latestVersion); });
    connect(check, &QThread::finished, check, [check] {
        auto& checks = runningChecks();
        checks.erase(std::remove(checks.begin(), checks.end(), check), checks.end());
        check->deleteLater();
    });
    trackCheck(check);
    check->start();
}

QString UpdatePage::title() const {
    return pageName();
}

void UpdatePage::showUpdate(bool failed, bool newer, const QVersionNumber& latestVersion) {
    checking = false;
    if (failed) {
        messageLabel->setText("Unable to check for update.");
        return;
    }
    if (!newer) {
        messageLabel->setText("Latest version is installed. No updates available.");
        return;
    }
    messageLabel->setText("A new Ombrix version is available!");
    const QString version = latestVersion.toString();
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
