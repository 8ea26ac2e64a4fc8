#include "services/RemoteResourceService.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace vpcore {

namespace {

const char* const kDefaultConnectivityUrl = "http://www.example.com/";

// The NWS answers anonymous clients with errors or stale data.
const char* const kUserAgent = "Ombrix/" OMBRIX_VERSION_TEXT;

}  // namespace

RemoteResourceService& RemoteResourceService::instance() {
    static RemoteResourceService service;
    return service;
}

QString RemoteResourceService::connectivityUrl() {
    const QString configured = qEnvironmentVariable("OMBRIX_CONNECTIVITY_URL");
    return configured.isEmpty() ? QString::fromLatin1(kDefaultConnectivityUrl) : configured;
}

void RemoteResourceService::registerNetworkConnectionHandler(
    fastdelegate::FastDelegate1<NetworkConnectionFlag> handler) {
    std::lock_guard<std::mutex> lock(handlersMutex);
    networkConnectionHandlers.push_back(handler);
}

std::unique_ptr<QNetworkReply> RemoteResourceService::getResource(const QString& url,
                                                                  QString& error,
                                                                  int timeoutInSeconds) {
    std::unique_ptr<QNetworkReply> reply = doGetResource(url, error, timeoutInSeconds);
    networkConnected = true;

    if (lastError == QNetworkReply::HostNotFoundError && sanityCheckConnection) {
        const QNetworkReply::NetworkError requestError = lastError;
        const QString requestErrorText = error;
        QString checkError;
        const std::unique_ptr<QNetworkReply> check =
            doGetResource(connectivityUrl(), checkError, timeoutInSeconds);
        if (lastError == QNetworkReply::HostNotFoundError) {
            networkConnected = false;
        }
        lastError = requestError;
        error = requestErrorText;
    }

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 301 || status == 302) {
        QString target =
            reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl().toString();
        if (target.isEmpty()) {
            // Peeked, not read: a redirect that is not followed still hands its body over.
            target = getRedirectUrl(QString::fromUtf8(reply->peek(reply->bytesAvailable())));
        }
        if (!target.isEmpty()) {
            // A Location or anchor may be relative to the page that redirected.
            const QString resolved = reply->url().resolved(QUrl(target)).toString();
            reply = doGetResource(resolved, error, timeoutInSeconds);
        }
    }

    fireNetworkConnectionHandlers(networkConnected ? NetworkReachable : NetworkNotReachable);
    return reply;
}

std::unique_ptr<QNetworkReply> RemoteResourceService::doGetResource(const QString& url,
                                                                    QString& error,
                                                                    int timeoutInSeconds) {
    error.clear();

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    auto manager = std::make_unique<QNetworkAccessManager>();
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(manager.get(), &QNetworkAccessManager::finished, &loop, &QEventLoop::quit);

    QNetworkRequest request{QUrl(url)};
    // Qt 6 follows redirects on its own by default; this service follows exactly one itself.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));

    std::unique_ptr<QNetworkReply> reply(manager->get(request));
    // The manager must outlive its reply: hand it to the reply, which frees it when the
    // caller deletes the reply (the reply's own destructor runs first).
    reply->setParent(nullptr);
    manager.release()->setParent(reply.get());

    timer.start(timeoutInSeconds * 1000);
    if (!reply->isFinished()) {
        loop.exec();
    }

    if (!timer.isActive() && !reply->isFinished()) {
        error = QStringLiteral("Timed out.");
        lastError = QNetworkReply::TimeoutError;
    } else {
        timer.stop();
        lastError = reply->error();
        if (lastError != QNetworkReply::NoError) {
            error = reply->errorString();
        }
    }
    return reply;
}

QString RemoteResourceService::getRedirectUrl(const QString& body) {
    const QString opening = QStringLiteral("<a href=\"");
    const int start = body.indexOf(opening);
    if (start < 0) {
        return QString();
    }
    const int from = start + opening.size();
    const int end = body.indexOf(QStringLiteral("\">"), from);
    if (end < 0) {
        return QString();
    }
    return body.mid(from, end - from);
}

void RemoteResourceService::fireNetworkConnectionHandlers(NetworkConnectionFlag flag) {
    // Called on a copy, without the lock: a handler may register another one.
    std::vector<fastdelegate::FastDelegate1<NetworkConnectionFlag>> handlers;
    {
        std::lock_guard<std::mutex> lock(handlersMutex);
        handlers = networkConnectionHandlers;
    }
    for (const auto& handler : handlers) {
        handler(flag);
    }
}

}  // namespace vpcore
