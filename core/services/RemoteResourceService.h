// The one way the system fetches a document or image over HTTP: a synchronous GET with a
// time-out, run in a local event loop on the calling thread (usually the scheduler's runner
// thread), following one redirect itself and, after a failed host lookup, optionally testing
// whether the machine is on line at all. The state fields describe the last request only.
#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <memory>
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

    // Shared without a lock: concurrent callers see each other's outcome.
    QNetworkReply::NetworkError lastError = QNetworkReply::NoError;
    bool sanityCheckConnection = false;
    bool networkConnected = true;
    std::vector<fastdelegate::FastDelegate1<NetworkConnectionFlag>> networkConnectionHandlers;
};

}  // namespace vpcore
