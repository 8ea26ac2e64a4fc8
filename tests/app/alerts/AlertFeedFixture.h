// The alert side of the core, for the alert widget, sound and page tests: a real alert model
// with its real feed provider, reading fixture feeds from the loopback server, and the main
// window whose pages the alert widgets switch. Each update runs
// on a worker thread, as the scheduler's runner would, so the alert events reach the widgets
// from there.
#pragma once

#include <QByteArray>
#include <QStackedLayout>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "AppTestSupport.h"
#include "HttpTestServer.h"
#include "TempDir.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "shell/Vesparo.h"
#include "weather/AlertModel.h"
#include "weather/AlertProviderImpl.h"

namespace apptest {

class AlertFeed {
public:
    static constexpr const char* FEED_PATH = "/cap/wwaatmget.php?x=MNZ060";

    // A model of its own; the alert ids go back to the process's publisher afterwards.
    AlertFeed()
        : lease({vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERT_NEW, vpcore::PROP_ALERTS_EXPIRED}),
          previousHost(qgetenv("OMBRIX_ALERTS_HOST")) {
        qputenv("OMBRIX_ALERTS_HOST", server.host().c_str());
        model = std::make_shared<vpcore::AlertModel>();
        model->setProvider(std::make_unique<vpcore::AlertProviderImpl>("MNZ060"));
    }
    // The given model (the location service's), emptied and without a provider afterwards.
    explicit AlertFeed(std::shared_ptr<vpcore::AlertModel> existing)
        : lease({}), previousHost(qgetenv("OMBRIX_ALERTS_HOST")), shared(true) {
        qputenv("OMBRIX_ALERTS_HOST", server.host().c_str());
        model = std::move(existing);
        model->setProvider(std::make_unique<vpcore::AlertProviderImpl>("MNZ060"));
        update("feed_no_alerts.xml");
    }
    ~AlertFeed() {
        if (shared) {
            update("feed_no_alerts.xml");
            model->setProvider(nullptr);
        }
        model.reset();
        if (previousHost.isNull()) {
            qunsetenv("OMBRIX_ALERTS_HOST");
        } else {
            qputenv("OMBRIX_ALERTS_HOST", previousHost);
        }
    }
    AlertFeed(const AlertFeed&) = delete;
    AlertFeed& operator=(const AlertFeed&) = delete;

    // tests/fixtures/alerts/<name>, with @HOST@ standing for the loopback server.
    std::string document(const std::string& name) const {
        std::string text =
            testsupport::readFile(std::string(OMBRIX_FIXTURE_DIR) + "/alerts/" + name);
        const std::string host = server.host();
        for (auto at = text.find("@HOST@"); at != std::string::npos; at = text.find("@HOST@")) {
            text.replace(at, 6, host);
        }
        return text;
    }

    // The next update reads this feed.
    void serve(const std::string& name) {
        server.addRoute(FEED_PATH, testsupport::HttpTestServer::ok(document(name)));
    }

    // A feed of count entries, the n-th titled "Alert <n>", each with its own id.
    void serveEntries(int count) {
        std::string text =
            "<?xml version='1.0' encoding='UTF-8'?>\n"
            "<feed xmlns='http://www.w3.org/2005/Atom'"
            " xmlns:cap='urn:oasis:names:tc:emergency:cap:1.1'>\n"
            "<id>http://" +
            server.host() + "/cap/wwaatmget.php?x=MNZ060</id>\n";
        for (int n = 1; n <= count; ++n) {
            const std::string key = "MN" + std::to_string(1000 + n) + ".Statement";
            const std::string address = "http://" + server.host() + "/cap/wwacapget.php?x=" + key;
            text += "<entry><id>" + address + "</id><link href='" + address +
                    "'/><updated>2026-12-10T05:40:00-06:00</updated>"
                    "<published>2026-12-10T05:40:00-06:00</published>"
                    "<title>Alert " +
                    std::to_string(n) +
                    "</title>"
                    "<summary>STATEMENT " +
                    std::to_string(n) +
                    ".</summary>"
                    "<cap:event>Special Weather Statement</cap:event>"
                    "<cap:effective>2026-12-10T05:40:00-06:00</cap:effective>"
                    "<cap:expires>2026-12-11T18:00:00-06:00</cap:expires></entry>\n";
        }
        text += "</feed>\n";
        server.addRoute(FEED_PATH, testsupport::HttpTestServer::ok(text));
    }

    // One update of the model on a worker thread from what is served; true when it was read.
    bool updateServed() {
        bool result = false;
        std::thread runner([this, &result] { result = model->performTask(); });
        runner.join();
        return result;
    }

    // One update of the model on a worker thread; true when the feed was read.
    bool update(const std::string& name) {
        serve(name);
        bool result = false;
        std::thread runner([this, &result] { result = model->performTask(); });
        runner.join();
        return result;
    }

    testsupport::HttpTestServer server;
    std::shared_ptr<vpcore::AlertModel> model;

private:
    // Ids 22 to 24 go back to their publisher of the process, if any, when the model is gone.
    const PropertyIdsLease lease;
    const QByteArray previousHost;
    const bool shared = false;
};

// A main window as the program builds it, for the tests that switch its pages; the ids that
// a main window registers once per process are given back afterwards.
class MainWindowLease {
public:
    MainWindowLease() : window(std::make_unique<Vesparo>(nullptr)) {
        pages = window->findChild<QStackedLayout*>();
    }
    ~MainWindowLease() { window.reset(); }
    MainWindowLease(const MainWindowLease&) = delete;
    MainWindowLease& operator=(const MainWindowLease&) = delete;

    Vesparo& operator*() const { return *window; }
    Vesparo* operator->() const { return window.get(); }
    int currentPage() const { return pages->currentIndex(); }

private:
    const MainWindowIdsLease lease;
    std::unique_ptr<Vesparo> window;
    QStackedLayout* pages = nullptr;
};

}  // namespace apptest
