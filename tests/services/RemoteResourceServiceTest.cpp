#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <mutex>

#include "HttpTestServer.h"
#include "TempDir.h"
#include "services/RemoteResourceService.h"

using testsupport::HttpTestServer;
using vpcore::NetworkConnectionFlag;
using vpcore::RemoteResourceService;

namespace {

// The service keeps its handlers for the life of the process, so one static recorder is
// registered once and cleared by every test.
class FlagRecorder {
public:
    static void record(NetworkConnectionFlag flag) {
        std::lock_guard<std::mutex> lock(mutex());
        flags().push_back(static_cast<int>(flag));
    }
    static std::vector<int> take() {
        std::lock_guard<std::mutex> lock(mutex());
        std::vector<int> taken;
        taken.swap(flags());
        return taken;
    }
    static void registerOnce() {
        static std::once_flag once;
        std::call_once(once, [] {
            RemoteResourceService::instance().registerNetworkConnectionHandler(
                fastdelegate::FastDelegate1<NetworkConnectionFlag>(&FlagRecorder::record));
        });
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<int>& flags() {
        static std::vector<int> f;
        return f;
    }
};

// Names under .invalid never resolve; a failed lookup returns well before the time-out, which
// is generous for resolvers that answer slowly.
const QString kUnresolvable = QStringLiteral("http://nosuchhost.invalid/obs.xml");
const int kLookupTimeout = 20;

class RemoteResourceServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        FlagRecorder::registerOnce();
        FlagRecorder::take();
        service.enableSanityCheckConnection(false);
    }
    void TearDown() override {
        service.enableSanityCheckConnection(false);
        qunsetenv("OMBRIX_CONNECTIVITY_URL");
    }

    QString url(const std::string& pathAndQuery) const {
        return QString::fromStdString(server.url(pathAndQuery));
    }
    std::unique_ptr<QNetworkReply> fetch(const std::string& pathAndQuery, QString& error,
                                         int timeout = 5) {
        return service.getResource(url(pathAndQuery), error, timeout);
    }
    static int statusOf(const QNetworkReply& reply) {
        return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

    HttpTestServer server;
    RemoteResourceService& service = RemoteResourceService::instance();
};

TEST_F(RemoteResourceServiceTest, FetchesTheDocumentAndNamesTheProgram) {
    server.addRoute("/xml/current_obs/KXYZ.xml", HttpTestServer::ok("<current_observation/>"));
    QString error = "stale";

    auto reply = fetch("/xml/current_obs/KXYZ.xml", error);

    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->isFinished());
    EXPECT_EQ(reply->readAll().toStdString(), "<current_observation/>");
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(service.getLastError(), QNetworkReply::NoError);
    EXPECT_TRUE(service.isNetworkConnected());
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(QRegularExpression("\\AOmbrix/\\d+\\.\\d+\\z")
                    .match(QString::fromStdString(requests[0].header("User-Agent")))
                    .hasMatch())
        << requests[0].header("User-Agent");
}

TEST_F(RemoteResourceServiceTest, HttpErrorStatusesAreReportedWithTheirBody) {
    const std::pair<int, QNetworkReply::NetworkError> cases[] = {
        {404, QNetworkReply::ContentNotFoundError},
        {403, QNetworkReply::ContentAccessDenied},
        {500, QNetworkReply::InternalServerError},
        {503, QNetworkReply::ServiceUnavailableError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string path = "/status/" + std::to_string(c.first);
        server.addRoute(path, HttpTestServer::status(c.first, "failure page"));
        QString error;

        auto reply = fetch(path, error);

        EXPECT_EQ(service.getLastError(), c.second);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(statusOf(*reply), c.first);
        EXPECT_EQ(reply->readAll().toStdString(), "failure page");
        EXPECT_TRUE(service.isNetworkConnected());
    }
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>(4, 0));
}

TEST_F(RemoteResourceServiceTest, ReplyFreesItsNetworkManager) {
    server.addRoute("/doc", HttpTestServer::ok("x"));
    QString error;
    auto reply = fetch("/doc", error);

    EXPECT_EQ(reply->parent(), nullptr);
    QPointer<QNetworkAccessManager> manager = reply->findChild<QNetworkAccessManager*>();
    ASSERT_FALSE(manager.isNull());
    reply.reset();
    EXPECT_TRUE(manager.isNull());
}

TEST_F(RemoteResourceServiceTest, SlowServerTimesOutAndItsLateAnswerLeavesTheNextRequestAlone) {
    server.addRoute("/slow", HttpTestServer::delayed(HttpTestServer::ok("late"), 1800));
    // The next request is still waiting when the late answer arrives.
    server.addRoute("/next", HttpTestServer::delayed(HttpTestServer::ok("next"), 1500));
    QString error;

    QElapsedTimer clock;
    clock.start();
    auto slow = fetch("/slow", error, 1);
    const qint64 waited = clock.elapsed();

    EXPECT_EQ(error.toStdString(), "Timed out.");
    EXPECT_EQ(service.getLastError(), QNetworkReply::TimeoutError);
    EXPECT_EQ(static_cast<int>(service.getLastError()), 4);
    EXPECT_FALSE(slow->isFinished());
    EXPECT_GE(waited, 900);
    EXPECT_LT(waited, 1700);
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});

    auto next = fetch("/next", error, 5);

    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(service.getLastError(), QNetworkReply::NoError);
    EXPECT_EQ(next->readAll().toStdString(), "next");
    EXPECT_EQ(server.requestCount("/slow"), 1);
    EXPECT_EQ(server.requestCount("/next"), 1);
}

TEST_F(RemoteResourceServiceTest, FollowsOneRedirectByLocationOrAnchor) {
    struct Case {
        const char* name;
        HttpTestServer::Response redirect;
    };
    server.addRoute("/target.xml", HttpTestServer::ok("<target/>"));
    const Case cases[] = {
        {"302 with Location", HttpTestServer::redirect(302, server.url("/target.xml"))},
        {"301 with Location", HttpTestServer::redirect(301, server.url("/target.xml"))},
        {"301 with an anchor only", HttpTestServer::anchorRedirect(301, server.url("/target.xml"))},
        {"302 with an anchor only", HttpTestServer::anchorRedirect(302, server.url("/target.xml"))},
        {"302 with a relative Location", HttpTestServer::redirect(302, "/target.xml")},
        {"301 with a relative anchor", HttpTestServer::anchorRedirect(301, "target.xml")},
    };
    int expectedTargetRequests = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.addRoute("/moved", c.redirect);
        QString error;

        auto reply = fetch("/moved", error);

        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(statusOf(*reply), 200);
        EXPECT_EQ(reply->readAll().toStdString(), "<target/>");
        EXPECT_EQ(reply->url().path().toStdString(), "/target.xml");
        EXPECT_EQ(server.requestCount("/target.xml"), ++expectedTargetRequests);
    }
    EXPECT_EQ(server.requestCount("/moved"), 6);
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>(6, 0));
}

TEST_F(RemoteResourceServiceTest, AnchorMustBeADoubleQuotedLowerCaseHref) {
    server.addRoute("/target.xml", HttpTestServer::ok("<target/>"));
    const std::string target = server.url("/target.xml");
    const std::pair<std::string, bool> bodies[] = {
        {"<p>see <a href=\"" + target + "\">here</a> or <a href=\"/other\">there</a></p>", true},
        {"<a href='" + target + "'>here</a>", false},
        {"<A HREF=\"" + target + "\">here</A>", false},
        {"<a href=\"" + target, false},
        {"no anchor at all", false},
        {"", false},
    };
    for (const auto& body : bodies) {
        SCOPED_TRACE(body.first);
        server.addRoute("/moved", HttpTestServer::status(301, body.first));
        const int before = server.requestCount("/target.xml");
        QString error;

        auto reply = fetch("/moved", error);

        if (body.second) {
            EXPECT_EQ(statusOf(*reply), 200);
            EXPECT_EQ(server.requestCount("/target.xml"), before + 1);
        } else {
            // Nothing to follow: the redirect reply itself comes back, its body still whole.
            EXPECT_EQ(statusOf(*reply), 301);
            EXPECT_EQ(reply->readAll().toStdString(), body.first);
            EXPECT_EQ(server.requestCount("/target.xml"), before);
            EXPECT_EQ(server.requestCount("/other"), 0);
        }
    }
}

TEST_F(RemoteResourceServiceTest, RedirectToARedirectReturnsTheSecondRedirect) {
    server.addRoute("/first", HttpTestServer::redirect(302, server.url("/second")));
    server.addRoute("/second", HttpTestServer::redirect(301, server.url("/third")));
    server.addRoute("/third", HttpTestServer::ok("<third/>"));
    QString error;

    auto reply = fetch("/first", error);

    EXPECT_EQ(statusOf(*reply), 301);
    EXPECT_EQ(reply->url().path().toStdString(), "/second");
    EXPECT_EQ(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl().path(),
              "/third");
    EXPECT_EQ(server.requestCount("/first"), 1);
    EXPECT_EQ(server.requestCount("/second"), 1);
    EXPECT_EQ(server.requestCount("/third"), 0);
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});
}

TEST_F(RemoteResourceServiceTest, UnresolvableHostWithoutTheCheckCountsAsConnected) {
    server.addRoute("/", HttpTestServer::ok("<html>front page</html>", "text/html"));
    qputenv("OMBRIX_CONNECTIVITY_URL", server.url("/").c_str());
    QString error;

    auto reply = service.getResource(kUnresolvable, error, kLookupTimeout);

    EXPECT_EQ(service.getLastError(), QNetworkReply::HostNotFoundError);
    EXPECT_EQ(static_cast<int>(service.getLastError()), 3);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(service.isNetworkConnected());
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});
    EXPECT_EQ(server.requestCount("/"), 0);  // the check page is left alone
}

TEST_F(RemoteResourceServiceTest, UnresolvableHostAndCheckPageMeansNoNetwork) {
    QString firstError;
    service.getResource(kUnresolvable, firstError, kLookupTimeout);
    FlagRecorder::take();
    qputenv("OMBRIX_CONNECTIVITY_URL", "http://connectivity-check.invalid/");
    service.enableSanityCheckConnection(true);
    QString error;

    auto reply = service.getResource(kUnresolvable, error, kLookupTimeout);

    EXPECT_FALSE(service.isNetworkConnected());
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{1});
    // The outcome reported is that of the document asked for, not of the check.
    EXPECT_EQ(service.getLastError(), QNetworkReply::HostNotFoundError);
    EXPECT_EQ(error, firstError);
    EXPECT_EQ(reply->url().host(), "nosuchhost.invalid");

    // The next successful request counts as connected again.
    server.addRoute("/doc", HttpTestServer::ok("x"));
    fetch("/doc", error);
    EXPECT_TRUE(service.isNetworkConnected());
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});
}

TEST_F(RemoteResourceServiceTest, CheckPageReachableMeansConnectedAndOnlyHostLookupsAreChecked) {
    server.addRoute("/", HttpTestServer::ok("<html>front page</html>", "text/html"));
    qputenv("OMBRIX_CONNECTIVITY_URL", server.url("/").c_str());
    service.enableSanityCheckConnection(true);
    ASSERT_TRUE(service.isSanityCheckConnectionEnabled());
    QString error;

    auto reply = service.getResource(kUnresolvable, error, kLookupTimeout);

    EXPECT_EQ(server.requestCount("/"), 1);
    EXPECT_TRUE(service.isNetworkConnected());
    EXPECT_EQ(service.getLastError(), QNetworkReply::HostNotFoundError);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});

    server.addRoute("/missing", HttpTestServer::status(404));
    fetch("/missing", error);
    EXPECT_EQ(service.getLastError(), QNetworkReply::ContentNotFoundError);
    EXPECT_EQ(server.requestCount("/"), 1);
}

TEST_F(RemoteResourceServiceTest, FetchesFromAWorkerThreadWithoutItsOwnEventLoop) {
    server.addRoute("/forecast", HttpTestServer::ok("<dwml/>"));
    const QString target = url("/forecast");
    std::string body;
    QString error = "unset";
    bool onWorker = false;
    // The join of a QThread is invisible to ThreadSanitizer; the mutex makes the hand-over
    // of the results explicit.
    std::mutex results;

    std::unique_ptr<QThread> worker(QThread::create([&] {
        std::lock_guard<std::mutex> lock(results);
        auto reply = RemoteResourceService::instance().getResource(target, error, 5);
        body = reply->readAll().toStdString();
        onWorker = reply->thread() == QThread::currentThread();
    }));
    worker->start();
    ASSERT_TRUE(worker->wait(10000));
    std::lock_guard<std::mutex> lock(results);

    EXPECT_TRUE(onWorker);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(body, "<dwml/>");
    EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});
}

}  // namespace

namespace {

std::atomic<int> lateHandlerCalls{0};

void countLateHandlerCall(NetworkConnectionFlag) {
    ++lateHandlerCalls;
}

}  // namespace

// From a local file, so that it also runs under ThreadSanitizer: the GUI thread registers
// handlers while the runner thread fetches and calls them.
TEST(RemoteResourceServiceThreadsTest, HandlersAreRegisteredWhileAnotherThreadFetches) {
    testsupport::TempDir dir;
    const QString target =
        QUrl::fromLocalFile(QString::fromStdString(dir.writeFile("obs.xml", "<obs/>"))).toString();
    std::atomic<bool> stop{false};
    std::atomic<int> fetched{0};
    std::atomic<int> failed{0};
    std::unique_ptr<QThread> fetcher(QThread::create([&] {
        while (!stop) {
            QString error;
            const auto reply = RemoteResourceService::instance().getResource(target, error, 5);
            if (!error.isEmpty() || reply->readAll() != "<obs/>") {
                ++failed;
            }
            ++fetched;
        }
    }));
    fetcher->start();
    const int handlers = 200;
    for (int i = 0; i < handlers; ++i) {
        RemoteResourceService::instance().registerNetworkConnectionHandler(
            fastdelegate::FastDelegate1<NetworkConnectionFlag>(&countLateHandlerCall));
        if (i % 20 == 0) {
            const int seen = fetched;
            QElapsedTimer waited;
            waited.start();
            while (fetched == seen && waited.elapsed() < 5000) {
                QThread::msleep(1);
            }
        }
    }
    const int before = fetched;
    QElapsedTimer waited;
    waited.start();
    while (fetched < before + 2 && waited.elapsed() < 10000) {
        QThread::msleep(1);
    }
    stop = true;
    ASSERT_TRUE(fetcher->wait(10000));

    EXPECT_GE(fetched, before + 2);
    EXPECT_EQ(failed, 0);
    // The last whole fetch called every handler.
    EXPECT_GE(lateHandlerCalls, handlers);
}
