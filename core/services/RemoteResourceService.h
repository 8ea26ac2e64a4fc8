// The one way the system fetches a document or image over HTTP: a synchronous GET with a
// time-out, run in a local event loop on the calling thread (usually the scheduler's runner
// thread), following one redirect itself and, after a failed host lookup, optionally testing
// whether the machine is on line at all. The state fields describe the last request only.
// Every member may be called from any thread; the GUI thread registers handlers and tests
// feeds while the runner thread fetches.
//
// A fetch is bounded whatever the server does: the time-out covers the whole fetch (redirect
// and connectivity test included) and ends it there (nothing reads on for it afterwards), a
// body is cut off once it passes the caller's byte limit, a redirect is followed only to an
// http or https address and only once (a second one is an error), and a fetch in flight on any
// thread can be ended from another (the scheduler's shutdown).
//
// Each thread that fetches has one network manager of its own, made at its first fetch and
// freed when the thread ends (the GUI thread's with the application object), so that no fetch
// waits for a manager to wind down. Connections are not kept from one fetch to the next.
#pragma once

#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "services/FastDelegate.h"
#include "services/VpCoreExport.h"

class QEventLoop;

namespace vpcore {

// What the network connection handlers are told after every fetch.
enum NetworkConnectionFlag { NetworkReachable = 0, NetworkNotReachable = 1 };

class VPCORE_EXPORT RemoteResourceService : public QObject {
    Q_OBJECT
public:
    // The body limit of getResource without one: the largest feed document accepted.
    static constexpr qint64 DEFAULT_MAX_BYTES = 16 << 20;  // 16 MiB

    static RemoteResourceService& instance();

    // Fetches url, waiting at most timeoutInSeconds for the whole fetch. The caller owns the
    // reply, never null (after a time-out it is aborted, with nothing to read) and deletes it
    // on the calling thread. error receives an error text, or stays empty on success. Never throws
    // for network errors: the reply, error, getLastError() and isNetworkConnected() carry the
    // outcome. The body may have DEFAULT_MAX_BYTES.
    std::unique_ptr<QNetworkReply> getResource(const QString& url, QString& error,
                                               int timeoutInSeconds);
    // The same with the caller's limit: a body of more than maxBytes is not read further; the
    // fetch then fails (error set, getLastError() UnknownContentError) and refusedSize() of
    // the reply tells why. A local file that is not a regular file (a FIFO, a device) is
    // refused without being opened.
    std::unique_ptr<QNetworkReply> getResource(const QString& url, QString& error,
                                               int timeoutInSeconds, qint64 maxBytes);
    // The same, ended at a deadline the caller shares between several fetches.
    std::unique_ptr<QNetworkReply> getResource(const QString& url, QString& error,
                                               const QDeadlineTimer& deadline, qint64 maxBytes);

    // An http or https address with a host: all that an address read from a feed may lead to.
    // The program's own addresses (local files among them) are fetched as they are.
    static bool isWebAddress(const QUrl& url);

    // For a reply refused for its size: the size it announced (or the file's size), or -1 when
    // it announced none and was cut off past the limit. 0 for every other reply.
    static qint64 refusedSize(const QNetworkReply& reply);
    // Whether the fetch of this reply was ended by its deadline ("Timed out.").
    static bool timedOut(const QNetworkReply& reply);

    // Ends every fetch in flight, on whatever thread it runs (each returns at once with the
    // error OperationCanceledError), and refuses new ones the same way until acceptFetches().
    // For a shutdown that must not wait for a hanging server.
    void abortFetches();
    void acceptFetches();

    QNetworkReply::NetworkError getLastError() const { return lastError; }

    // When enabled, a failed host lookup makes getResource fetch the page named by
    // OMBRIX_CONNECTIVITY_URL to judge whether the network is reachable at all.
    void enableSanityCheckConnection(bool enable) { sanityCheckConnection = enable; }
    bool isSanityCheckConnectionEnabled() const { return sanityCheckConnection; }
    bool isNetworkConnected() const { return networkConnected; }

    // Handlers are called, in the order registered, on the fetching thread after every fetch.
    // A handler registered while a fetch calls the handlers is called from the next fetch on.
    void registerNetworkConnectionHandler(
        fastdelegate::FastDelegate1<NetworkConnectionFlag> handler);

private:
    RemoteResourceService() = default;

    // The page fetched by the connectivity test: OMBRIX_CONNECTIVITY_URL, or a default.
    static QString connectivityUrl();

    // One GET, no redirect followed, ended at the deadline.
    std::unique_ptr<QNetworkReply> doGetResource(const QUrl& url, QString& error,
                                                 const QDeadlineTimer& deadline, qint64 maxBytes);
    // A reply that never went out, finished with the given error: a refused fetch.
    std::unique_ptr<QNetworkReply> refuse(const QUrl& url, QNetworkReply::NetworkError code,
                                          const QString& text, QString& error);
    QString getRedirectUrl(const QString& body);
    void fireNetworkConnectionHandlers(NetworkConnectionFlag flag);

    // The fetches in flight, each by the local event loop that waits for it (living on the
    // fetching thread) and its reply, so that abortFetches() can end them from any thread.
    bool registerFetch(QEventLoop* loop, QNetworkReply* reply);
    void unregisterFetch(QEventLoop* loop);

    // Atomic, as fetches run on several threads; concurrent callers see each other's outcome.
    std::atomic<QNetworkReply::NetworkError> lastError{QNetworkReply::NoError};
    std::atomic<bool> sanityCheckConnection{false};
    std::atomic<bool> networkConnected{true};
    std::vector<fastdelegate::FastDelegate1<NetworkConnectionFlag>> networkConnectionHandlers;
    std::mutex handlersMutex;  // guards networkConnectionHandlers
    std::vector<std::pair<QEventLoop*, QNetworkReply*>> activeFetches;
    bool refusingFetches = false;
    std::mutex fetchesMutex;  // guards activeFetches and refusingFetches
};

}  // namespace vpcore
