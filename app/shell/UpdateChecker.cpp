#include "UpdateChecker.h"

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

bool UpdateChecker::checkForUpdate(QString& error, float& latestVersion) {
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
    bool ok = false;
    latestVersion = QString::fromUtf8(body).toFloat(&ok);
    if (!ok) {
        return false;
    }
    const float installed = static_cast<float>(QSettings().value("Ombrix", QVariant()).toDouble());
    return installed < latestVersion;
}
