#include "services/RemoteResourceService.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>
#include <algorithm>
#include <climits>

namespace vpcore {

namespace {

const char* const kDefaultConnectivityUrl = "http://www.example.com/";

// The NWS answers anonymous clients with errors or stale data.
const char* const kUserAgent = "Ombrix/" OMBRIX_VERSION_TEXT;

// A front page is small; a larger answer still proves the network is there.
const qint64 kConnectivityPageBytes = 1 << 20;

// What the network thread may read past a body's limit.
const qint64 kReadChunkBytes = 64 << 10;

// Kept on a reply refused for its size, read by refusedSize().
const char* const kRefusedSizeProperty = "ombrixRefusedSize";

// A reply that never went to the network: finished at once with an error and no body.
class RefusedReply : public QNetworkReply {
public:
    RefusedReply(const QUrl& url, NetworkError code, const QString& text) {
        setUrl(url);
        setOperation(QNetworkAccessManager::GetOperation);
        setError(code, text);
        open(QIODevice::ReadOnly);
        setFinished(true);
    }
    void abort() override {}

protected:
    qint64 readData(char*, qint64) override { return -1; }
};

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
    return getResource(url, error, timeoutInSeconds, DEFAULT_MAX_BYTES);
}

std::unique_ptr<QNetworkReply> RemoteResourceService::getResource(const QString& url,
                                                                  QString& error,
                                                                  int timeoutInSeconds,
                                                                  qint64 maxBytes) {
    // One deadline for everything below: a server must not win more time by redirecting.
    const QDeadlineTimer deadline(std::max(0, timeoutInSeconds) * 1000LL, Qt::PreciseTimer);
    std::unique_ptr<QNetworkReply> reply = doGetResource(QUrl(url), error, deadline, maxBytes);
    networkConnected = true;

    if (lastError == QNetworkReply::HostNotFoundError && sanityCheckConnection &&
        !deadline.hasExpired()) {
        const QNetworkReply::NetworkError requestError = lastError;
        const QString requestErrorText = error;
        QString checkError;
        const std::unique_ptr<QNetworkReply> check =
            doGetResource(QUrl(connectivityUrl()), checkError, deadline, kConnectivityPageBytes);
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
            const QUrl resolved = reply->url().resolved(QUrl(target));
            // Anyone on the path of a plain http feed can answer it: a redirect must not lead
            // to a local file or to another kind of address.
            if (resolved.scheme() == QLatin1String("http") ||
                resolved.scheme() == QLatin1String("https")) {
                reply = doGetResource(resolved, error, deadline, maxBytes);
            } else {
                error = QStringLiteral(
                            "Redirect to %1 refused: only http and https addresses "
                            "are followed.")
                            .arg(resolved.toString());
                lastError = QNetworkReply::ProtocolUnknownError;
            }
        }
    }

    fireNetworkConnectionHandlers(networkConnected ? NetworkReachable : NetworkNotReachable);
    return reply;
}

std::unique_ptr<QNetworkReply> RemoteResourceService::doGetResource(const QUrl& url, QString& error,
                                                                    const QDeadlineTimer& deadline,
                                                                    qint64 maxBytes) {
    error.clear();
    {
        std::lock_guard<std::mutex> lock(fetchesMutex);
        if (refusingFetches) {
            return refuse(url, QNetworkReply::OperationCanceledError,
                          QStringLiteral("Operation canceled"), error);
        }
    }
    if (url.isLocalFile()) {
        // Opening a FIFO or a device waits for a writer outside any event loop, for good.
        const QFileInfo file(url.toLocalFile());
        if (file.exists() && !file.isFile() && !file.isDir()) {
            return refuse(url, QNetworkReply::ContentOperationNotPermittedError,
                          QStringLiteral("%1 is not a regular file.").arg(file.filePath()), error);
        }
    }

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    auto manager = std::make_unique<QNetworkAccessManager>();
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    QNetworkRequest request{url};
    // Qt 6 follows redirects on its own by default; this service follows exactly one itself.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    // Uncompressed: a body's size on the wire is its size, there is no bomb to defuse, and
    // Qt's decompression of a large body costs more than the transfer it saves.
    request.setRawHeader("Accept-Encoding", "identity");

    std::unique_ptr<QNetworkReply> reply(manager->get(request));
    // The manager must outlive its reply: hand it to the reply, which frees it when the
    // caller deletes the reply (the reply's own destructor runs first).
    reply->setParent(nullptr);
    manager.release()->setParent(reply.get());
    QNetworkReply* const raw = reply.get();
    // Without a read buffer limit Qt's network thread reads as fast as the server sends,
    // whatever this thread has seen; with it, reading stops once the limit and some more wait
    // here, and that more is the sign to refuse the body.
    raw->setReadBufferSize(maxBytes + kReadChunkBytes);

    // The body is checked as it arrives; a length announced beyond the limit ends the fetch
    // before the body.
    const auto refuseSize = [raw](qint64 size) {
        raw->setProperty(kRefusedSizeProperty, size);
        raw->abort();
    };
    connect(raw, &QNetworkReply::metaDataChanged, &loop, [raw, maxBytes, refuseSize] {
        bool known = false;
        const qint64 announced =
            raw->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > maxBytes) {
            refuseSize(announced);
        }
    });
    connect(raw, &QIODevice::readyRead, &loop, [raw, maxBytes, refuseSize] {
        if (raw->isRunning() && raw->bytesAvailable() > maxBytes) {
            refuseSize(-1);
        }
    });
    connect(raw, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    const bool registered = registerFetch(&loop, raw);
    timer.start(static_cast<int>(std::min<qint64>(deadline.remainingTime(), INT_MAX)));
    if (registered && !raw->isFinished()) {
        loop.exec();
    }
    unregisterFetch(&loop);

    if (!timer.isActive() && !raw->isFinished()) {
        error = QStringLiteral("Timed out.");
        lastError = QNetworkReply::TimeoutError;
        return reply;
    }
    timer.stop();
    if (refusedSize(*raw) == 0 && raw->error() == QNetworkReply::NoError &&
        raw->bytesAvailable() > maxBytes) {
        // A reply finished before its size was seen: a local file, or a last chunk.
        refuseSize(raw->bytesAvailable());
    }
    const qint64 refused = refusedSize(*raw);
    if (refused != 0) {
        error = refused > 0 ? QStringLiteral("The reply has %1 bytes, more than the %2 accepted.")
                                  .arg(QString::number(refused), QString::number(maxBytes))
                            : QStringLiteral("The reply has more than the %1 bytes accepted.")
                                  .arg(QString::number(maxBytes));
        lastError = QNetworkReply::UnknownContentError;
        return reply;
    }
    lastError = raw->error();
    if (lastError != QNetworkReply::NoError) {
        error = raw->errorString();
    }
    return reply;
}

std::unique_ptr<QNetworkReply> RemoteResourceService::refuse(const QUrl& url,
                                                             QNetworkReply::NetworkError code,
                                                             const QString& text, QString& error) {
    error = text;
    lastError = code;
    return std::make_unique<RefusedReply>(url, code, text);
}

qint64 RemoteResourceService::refusedSize(const QNetworkReply& reply) {
    return reply.property(kRefusedSizeProperty).toLongLong();
}

bool RemoteResourceService::registerFetch(QEventLoop* loop, QNetworkReply* reply) {
    std::lock_guard<std::mutex> lock(fetchesMutex);
    if (refusingFetches) {
        // Stopped between the first look and now: end it here, on its own thread.
        reply->abort();
        return false;
    }
    activeFetches.emplace_back(loop, reply);
    return true;
}

void RemoteResourceService::unregisterFetch(QEventLoop* loop) {
    std::lock_guard<std::mutex> lock(fetchesMutex);
    activeFetches.erase(std::remove_if(activeFetches.begin(), activeFetches.end(),
                                       [loop](const auto& fetch) { return fetch.first == loop; }),
                        activeFetches.end());
}

void RemoteResourceService::abortFetches() {
    std::lock_guard<std::mutex> lock(fetchesMutex);
    refusingFetches = true;
    for (const auto& fetch : activeFetches) {
        // A reply belongs to its fetching thread: the abort is posted there. Posted to the
        // loop, it is dropped if the fetch ends first (the loop dies with it).
        QNetworkReply* const reply = fetch.second;
        QMetaObject::invokeMethod(
            fetch.first, [reply] { reply->abort(); }, Qt::QueuedConnection);
    }
}

void RemoteResourceService::acceptFetches() {
    std::lock_guard<std::mutex> lock(fetchesMutex);
    refusingFetches = false;
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
