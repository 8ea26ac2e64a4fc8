#include "base/UpdateChecker.h"

#include <QSettings>

#include "services/RemoteResourceService.h"
#include "services/ServiceHost.h"

namespace {

QString homeHost() {
    return QString::fromStdString(vpcore::serviceHost("OMBRIX_HOME_HOST", "ombrix.example.org"));
}

}  // namespace

UpdateChecker& UpdateChecker::instance() {
    static UpdateChecker checker;
    return checker;
}

QString UpdateChecker::homePageUrl() const {
    return "http://" + homeHost() + "/";
}

QVersionNumber UpdateChecker::parseVersion(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    const QVersionNumber version = QVersionNumber::fromString(trimmed, &end);
    // "2.0 beta" or "<html>" is no version, though it starts like one or not at all.
    return end == trimmed.size() ? version : QVersionNumber();
}

bool UpdateChecker::checkForUpdate(QString& error, QVersionNumber& latestVersion) {
    latestVersion = QVersionNumber();
    const QString url = "http://" + homeHost() + "/Ombrix.version";
    const std::unique_ptr<QNetworkReply> reply =
        vpcore::RemoteResourceService::instance().getResource(url, error, 10);
    if (!error.isEmpty()) {
        return false;
    }
    const QByteArray body = reply ? reply->readAll() : QByteArray();
    if (body.isEmpty()) {
        error = "Unable to check for update.";
        return false;
    }
    latestVersion = parseVersion(QString::fromUtf8(body));
    if (latestVersion.isNull()) {
        return false;
    }
    // Trailing zeros say nothing: "2.0" is installed when "2" is published.
    const QVersionNumber installed =
        parseVersion(QSettings().value("Ombrix", QVariant()).toString()).normalized();
    return QVersionNumber::compare(installed, latestVersion.normalized()) < 0;
}
