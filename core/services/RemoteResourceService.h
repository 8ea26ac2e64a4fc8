// The one way the system fetches a document or image over HTTP: a synchronous GET with a
// time-out, run in a local event loop on the calling thread (usually the scheduler's runner
// thread), following one redirect itself and, after a failed host lookup, optionally testing
// whether the machine is on line at all. The state fields describe the last request only.
// Every member may be called from any thread; the GUI thread registers handlers and tests
// feeds while the runner thread fetches.
#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "services/FastDelegate.h"
#include "services/VpCoreExport.h"

namespace vpcore {

// What the network connection handlers are told after every fetch.
enum NetworkConnectionFlag { NetworkReachable = 0, NetworkNotReachable = 1 };

class VPCORE_EXPORT RemoteResourceService : public QObject {
    Q_OBJECT
public:
    static RemoteResourceService& instance();

    // Fetches url, waiting at most timeoutInSeconds. The caller owns the reply (also after a
    // time-out, when it is unfinished); deleting it also frees the network manager that made
    // it. error receives an error text, or stays empty on success. Never throws for network
    // errors: the reply, error, getLastError() and isNetworkConnected() carry the outcome.
    std::unique_ptr<QNetworkReply> getResource(const QString& url, QString& error,
                                               int timeoutInSeconds);

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

    std::unique_ptr<QNetworkReply> doGetResource(const QString& url, QString& error,
                                                 int timeoutInSeconds);
    QString getRedirectUrl(const QString& body);
    void fireNetworkConnectionHandlers(NetworkConnectionFlag flag);

    // Atomic, as fetches run on several threads; concurrent callers see each other's outcome.
    std::atomic<QNetworkReply::NetworkError> lastError{QNetworkReply::NoError};
    std::atomic<bool> sanityCheckConnection{false};
    std::atomic<bool> networkConnected{true};
    std::vector<fastdelegate::FastDelegate1<NetworkConnectionFlag>> networkConnectionHandlers;
    std::mutex handlersMutex;  // guards networkConnectionHandlers
};

}  // namespace vpcore
