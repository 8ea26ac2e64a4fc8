#include "services/RemoteResourceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

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
// Kept on a reply ended by the deadline, read by timedOut().
const char* const kTimedOutProperty = "ombrixTimedOut";

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

// Feeds have no use for cookies, and a host must not fill a jar that lives for the run.
class NoCookieJar : public QNetworkCookieJar {
public:
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

// The manager of one thread. A manager lives on the thread that made it, and its replies with
// it; made anew for every fetch, each one's end waited for its HTTP thread, up to 5 s. Kept per
// thread, it is made once.
struct ThreadManager {
    QNetworkAccessManager* manager = nullptr;
    // A thread that is not a QThread (a test's std::thread) ends here.
    ~ThreadManager() { delete manager; }
};
thread_local ThreadManager threadManager;

void releaseThreadManager() {
    delete threadManager.manager;
    threadManager.manager = nullptr;
}

// Called while the QThread ends: deleted in the deferred deletions that follow at once, not in
// the middle of the signal that the manager itself receives.
void releaseEndingThreadManager() {
    QNetworkAccessManager* const manager = threadManager.manager;
    threadManager.manager = nullptr;
    if (manager != nullptr) {
        manager->deleteLater();
    }
}

QNetworkAccessManager& managerOfThisThread() {
    if (threadManager.manager != nullptr) {
        return *threadManager.manager;
    }
    auto* manager = new QNetworkAccessManager;
    manager->setCookieJar(new NoCookieJar);
    threadManager.manager = manager;
    QCoreApplication* const application = QCoreApplication::instance();
    if (application != nullptr && application->thread() == QThread::currentThread()) {
        // The GUI thread outlives the application object; its manager must not.
        qAddPostRoutine(releaseThreadManager);
    } else {
        // Emitted on the ending thread itself, while its event dispatcher still runs the
        // deferred deletions; the connection goes with the manager.
        QObject::connect(QThread::currentThread(), &QThread::finished, manager,
                         releaseEndingThreadManager, Qt::DirectConnection);
    }
    return *manager;
}

// Qt's HTTP thread reads response headers a byte at a time, without a bound, for as long as
// bytes wait on the socket: a host that sends header lines faster than that keeps the thread
// in its read loop, where neither an abort nor the manager's end reaches it (the manager's end
// then waits 5 s for it and abandons it still reading). A fetch ended without headers
// therefore also shuts down this process's connections to that host that have bytes waiting
// unread (the thread then sees the end of the stream, leaves the loop and drops the
// connection). A host named by its address is known by address and port; a host named by
// name by its port alone, as a name lookup here could itself hang past the deadline.
void cutConnectionsTo(const QUrl& url) {
    const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
    const QHostAddress literal(url.host());
    if (port <= 0) {
        return;
    }
    const QStringList descriptors =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString& name : descriptors) {
        bool isNumber = false;
        const int fd = name.toInt(&isNumber);
        if (!isNumber) {
            continue;
        }
        sockaddr_storage peer{};
        socklen_t size = sizeof(peer);
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
            continue;
        }
        QHostAddress address;
        int peerPort = 0;
        if (peer.ss_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(&peer);
            address.setAddress(ntohl(in->sin_addr.s_addr));
            peerPort = ntohs(in->sin_port);
        } else if (peer.ss_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&peer);
            address.setAddress(in6->sin6_addr.s6_addr);
            peerPort = ntohs(in6->sin6_port);
        } else {
            continue;
        }
        int waiting = 0;
        if (peerPort != port || ::ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) {
            continue;
        }
        if (literal.isNull() || address.isEqual(literal, QHostAddress::TolerantConversion)) {
            // Shut down, not closed: the descriptor stays Qt's, to close in its own time.
            ::shutdown(fd, SHUT_RDWR);
        }
    }
}

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

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
    return getResource(url, error,
                       QDeadlineTimer(std::max(0, timeoutInSeconds) * 1000LL, Qt::PreciseTimer),
                       maxBytes);
}

bool RemoteResourceService::isWebAddress(const QUrl& url) {
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

std::unique_ptr<QNetworkReply> RemoteResourceService::getResource(const QString& url,
                                                                  QString& error,
                                                                  const QDeadlineTimer& deadline,
                                                                  qint64 maxBytes) {
    // One deadline for everything below: a server must not win more time by redirecting.
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
            if (isWebAddress(resolved)) {
                reply = doGetResource(resolved, error, deadline, maxBytes);
                const int again =
                    reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                if (error.isEmpty() && isRedirectStatus(again)) {
                    // Handed over as it is, the empty body of the second redirect would read
                    // as a document that ends before it starts.
                    error = QStringLiteral(
                                "Too many redirects: %1 redirects again; only one redirect "
                                "is followed.")
                                .arg(resolved.toString());
                    lastError = QNetworkReply::TooManyRedirectsError;
                }
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
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    QNetworkRequest request{url};
    // Qt 6 follows redirects on its own by default; this service follows exactly one itself.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    // Uncompressed: a body's size on the wire is its size, there is no bomb to defuse, and
    // Qt's decompression of a large body costs more than the transfer it saves.
    request.setRawHeader("Accept-Encoding", "identity");
    // A connection kept from an earlier fetch of this manager has been seen to hand over an
    // empty body without an error for an answer the server sent in full (the program's
    // location page, one fetch after another on the GUI thread); each fetch therefore has a
    // connection of its own, which the server closes after the answer. The manager itself
    // stays for the thread's life.
    request.setRawHeader("Connection", "close");

    std::unique_ptr<QNetworkReply> reply(managerOfThisThread().get(request));
    // The caller owns the reply; the manager outlives it, as it lives as long as this thread.
    reply->setParent(nullptr);
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
    bool headersSeen = false;
    connect(raw, &QNetworkReply::metaDataChanged, &loop, [raw, maxBytes, refuseSize, &headersSeen] {
        headersSeen = true;
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

    const bool timedOutHere = !timer.isActive() && !raw->isFinished();
    if (timedOutHere) {
        // Ended here, or the manager's HTTP thread would go on reading for a reply nobody
        // waits for (a body that trickles).
        raw->setProperty(kTimedOutProperty, true);
        raw->abort();
    }
    if (!headersSeen && url.scheme().startsWith(QLatin1String("http")) &&
        (timedOutHere ||
         (raw->error() == QNetworkReply::OperationCanceledError && refusedSize(*raw) == 0))) {
        cutConnectionsTo(url);
    }
    if (timedOutHere) {
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

bool RemoteResourceService::timedOut(const QNetworkReply& reply) {
    return reply.property(kTimedOutProperty).toBool();
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
