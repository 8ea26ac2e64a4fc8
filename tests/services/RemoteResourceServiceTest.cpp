#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "HttpTestServer.h"
#include "SchedulerTestSupport.h"
#include "TempDir.h"
#include "services/RemoteResourceService.h"
#include "services/TaskScheduler.h"

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

TEST_F(RemoteResourceServiceTest, EachFetchAsksForAConnectionOfItsOwn) {
    // One after another on one thread, as the location page fetches: none may rely on a
    // connection left open by the one before.
    const char* const paths[] = {"/Ombrix.version", "/a.xml", "/xml/current_obs/KXYZ.xml"};
    for (const char* path : paths) {
        server.addRoute(path, HttpTestServer::ok(std::string("<b>") + path + "</b>"));
    }
    for (int round = 0; round < 2; ++round) {
        for (const char* path : paths) {
            SCOPED_TRACE(path);
            QString error;
            auto reply = fetch(path, error);
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(reply->readAll().toStdString(), std::string("<b>") + path + "</b>");
        }
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 6u);
    for (const auto& request : requests) {
        SCOPED_TRACE(request.target);
        EXPECT_EQ(QString::fromStdString(request.header("Connection")).toLower().toStdString(),
                  "close");
    }
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

TEST_F(RemoteResourceServiceTest, EachThreadFetchesThroughOneManagerFreedWhenTheThreadEnds) {
    server.addRoute("/doc", HttpTestServer::ok("x"));
    QString error;
    auto first = fetch("/doc", error);
    auto second = fetch("/doc", error);

    EXPECT_EQ(first->parent(), nullptr);
    ASSERT_NE(first->manager(), nullptr);
    EXPECT_EQ(first->manager(), second->manager());
    EXPECT_EQ(first->manager()->thread(), QThread::currentThread());

    const QString target = url("/doc");
    QPointer<QNetworkAccessManager> workerManager;
    QNetworkAccessManager* workerManagerAddress = nullptr;
    std::mutex results;  // the QThread's join is invisible to ThreadSanitizer
    std::unique_ptr<QThread> worker(QThread::create([&] {
        std::lock_guard<std::mutex> lock(results);
        QString workerError;
        for (int i = 0; i < 2; ++i) {
            auto reply = RemoteResourceService::instance().getResource(target, workerError, 5);
            EXPECT_TRUE(workerError.isEmpty()) << workerError.toStdString();
            EXPECT_TRUE(workerManagerAddress == nullptr ||
                        workerManagerAddress == reply->manager());
            workerManagerAddress = reply->manager();
            workerManager = reply->manager();
        }
    }));
    worker->start();
    ASSERT_TRUE(worker->wait(10000));
    std::lock_guard<std::mutex> lock(results);

    EXPECT_NE(workerManagerAddress, first->manager());
    // Freed as its thread ended; this thread's manager lives on.
    EXPECT_TRUE(workerManager.isNull());
    first.reset();
    EXPECT_EQ(fetch("/doc", error)->manager(), second->manager());
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
    // Ended at the deadline: nothing reads on for it.
    EXPECT_TRUE(slow->isFinished());
    EXPECT_TRUE(RemoteResourceService::timedOut(*slow));
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

TEST_F(RemoteResourceServiceTest, ARedirectToARedirectIsARetrievalError) {
    server.addRoute("/first", HttpTestServer::redirect(302, server.url("/second")));
    server.addRoute("/second", HttpTestServer::redirect(301, server.url("/third")));
    server.addRoute("/third", HttpTestServer::ok("<third/>"));
    server.addRoute("/loop", HttpTestServer::hostile("redirect-loop"));
    for (const char* path : {"/first", "/loop"}) {
        SCOPED_TRACE(path);
        QString error;

        auto reply = fetch(path, error);

        EXPECT_EQ(service.getLastError(), QNetworkReply::TooManyRedirectsError);
        EXPECT_TRUE(error.startsWith("Too many redirects: ")) << error.toStdString();
        EXPECT_TRUE(error.contains("only one redirect is followed")) << error.toStdString();
        EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});
    }
    EXPECT_EQ(server.requestCount("/first"), 1);
    EXPECT_EQ(server.requestCount("/second"), 1);
    EXPECT_EQ(server.requestCount("/third"), 0);
    EXPECT_EQ(server.requestCount("/loop"), 2);
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

// A FIFO in a temporary folder. Opened for reading it waits for a writer: should a fetch open
// it after all, a writer comes after 10 s, so that the test fails instead of hanging.
class Fifo {
public:
    Fifo() : path(dir.filePath("hostile.fifo")) {
        ok = ::mkfifo(path.c_str(), 0600) == 0;
        rescuer = std::thread([this] {
            schedtest::waitUntil([this] { return done.load(); }, 10000);
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                opened = true;
                ::close(fd);
            }
        });
    }
    ~Fifo() {
        done = true;
        rescuer.join();
    }
    testsupport::TempDir dir;
    const std::string path;
    bool ok = false;
    std::atomic<bool> done{false};
    std::atomic<bool> opened{false};  // someone was reading it
    std::thread rescuer;
};

TEST_F(RemoteResourceServiceTest, ABodyPastTheLimitIsNotReadFurtherAndRefused) {
    const qint64 limit = 64 << 10;
    testsupport::TempDir dir;
    const QString largeFile = QUrl::fromLocalFile(QString::fromStdString(dir.writeFile(
                                                      "large.xml", std::string(limit + 1, 'x'))))
                                  .toString();
    server.addRoute("/announced", HttpTestServer::ok(std::string(limit + 1, 'x')));
    server.addRoute("/endless", HttpTestServer::hostile("endless"));
    server.addRoute("/at-limit", HttpTestServer::ok(std::string(limit, 'x')));
    struct Case {
        const char* name;
        QString url;
        qint64 refusedSize;  // 0: accepted
    };
    const Case cases[] = {
        {"a length announced past the limit", url("/announced"), limit + 1},
        {"a body that never ends", url("/endless"), -1},
        {"a local file past the limit", largeFile, limit + 1},
        {"a body of just the limit", url("/at-limit"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;

        const auto reply = service.getResource(c.url, error, 20, limit);

        EXPECT_EQ(RemoteResourceService::refusedSize(*reply), c.refusedSize);
        if (c.refusedSize == 0) {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(reply->readAll().size(), limit);
            continue;
        }
        EXPECT_EQ(service.getLastError(), QNetworkReply::UnknownContentError);
        EXPECT_TRUE(error.contains("more than the")) << error.toStdString();
        EXPECT_TRUE(error.contains(QString::number(limit))) << error.toStdString();
        // Nothing of it is handed over.
        EXPECT_FALSE(reply->isOpen());
    }
    // The endless body was read no further than the limit and what the sockets and one read
    // chunk hold; read to the time-out it would have been hundreds of megabytes.
    EXPECT_LT(server.hostileBytesStreamed(), 64LL << 20);
    // Asked for as it is, so that the size on the wire is the body's.
    EXPECT_EQ(server.requests().back().header("Accept-Encoding"), "identity");

    // Without a limit of its own a fetch takes the default, which a feed never reaches.
    QString error;
    auto reply = fetch("/announced", error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(reply->readAll().size(), limit + 1);
}

TEST_F(RemoteResourceServiceTest, TheTimeOutBoundsTheWholeFetchWhateverTheServerSends) {
    server.addRoute("/trickle", HttpTestServer::hostile("trickle"));
    server.addRoute("/stall", HttpTestServer::hostile("stall"));
    // A slow redirect to a stall: the time-out is not given afresh to the target.
    server.addRoute(
        "/slow-redirect",
        HttpTestServer::delayed(HttpTestServer::redirect(302, server.url("/stall")), 1500));
    for (const char* path : {"/trickle", "/stall", "/slow-redirect"}) {
        SCOPED_TRACE(path);
        QString error;
        const auto started = std::chrono::steady_clock::now();

        const auto reply = fetch(path, error, 2);

        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(error.toStdString(), "Timed out.");
        EXPECT_EQ(service.getLastError(), QNetworkReply::TimeoutError);
        EXPECT_LT(waited, std::chrono::milliseconds(3400));
    }
    EXPECT_EQ(server.requestCount("/stall"), 2);

    server.addRoute("/doc", HttpTestServer::ok("<doc/>"));
    QString error;
    EXPECT_EQ(fetch("/doc", error)->readAll().toStdString(), "<doc/>");
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST_F(RemoteResourceServiceTest, RedirectsLeadOnlyToHttpAndHttpsAddresses) {
    testsupport::TempDir dir;
    const std::string secret = dir.writeFile("secret.xml", "<secret>local text</secret>");
    Fifo fifo;
    ASSERT_TRUE(fifo.ok);
    server.addRoute("/target.xml", HttpTestServer::ok("<target/>"));
    server.setHostileTargets(secret, fifo.path);
    struct Case {
        const char* name;
        HttpTestServer::Response redirect;
        const char* refusedTarget;  // the start of the address in the error
    };
    const Case cases[] = {
        {"302 to a local file", HttpTestServer::hostile("redirect-file"), "file://"},
        {"302 to a FIFO", HttpTestServer::hostile("redirect-fifo"), "file://"},
        {"302 to ftp", HttpTestServer::hostile("redirect-scheme"), "ftp://"},
        {"301 anchor to a local file", HttpTestServer::anchorRedirect(301, "file://" + secret),
         "file://"},
        {"302 to a relative address of another scheme",
         HttpTestServer::redirect(302, "gopher:/target.xml"), "gopher:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.addRoute("/moved", c.redirect);
        QString error;

        const auto reply = fetch("/moved", error);

        EXPECT_TRUE(error.startsWith(QString("Redirect to ") + c.refusedTarget))
            << error.toStdString();
        EXPECT_TRUE(error.endsWith("refused: only http and https addresses are followed."))
            << error.toStdString();
        EXPECT_EQ(service.getLastError(), QNetworkReply::ProtocolUnknownError);
        EXPECT_FALSE(reply->readAll().contains("local text"));
        EXPECT_EQ(FlagRecorder::take(), std::vector<int>{0});
    }
    EXPECT_FALSE(fifo.opened);

    // The next fetch is not troubled, and a redirect to https is still followed.
    server.addRoute("/moved", HttpTestServer::redirect(302, server.url("/target.xml")));
    QString error;
    EXPECT_EQ(fetch("/moved", error)->readAll().toStdString(), "<target/>");
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    server.addRoute("/secure", HttpTestServer::redirect(302, "https://127.0.0.1:1/x.xml"));
    fetch("/secure", error);
    EXPECT_FALSE(error.startsWith("Redirect to")) << error.toStdString();
}

TEST_F(RemoteResourceServiceTest, ALocalPathThatIsNoRegularFileIsNotOpened) {
    Fifo fifo;
    ASSERT_TRUE(fifo.ok);
    QString error;

    const auto reply = service.getResource(
        QUrl::fromLocalFile(QString::fromStdString(fifo.path)).toString(), error, 5);

    EXPECT_EQ(error.toStdString(), fifo.path + " is not a regular file.");
    EXPECT_EQ(service.getLastError(), QNetworkReply::ContentOperationNotPermittedError);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->isFinished());
    EXPECT_TRUE(reply->readAll().isEmpty());
    EXPECT_FALSE(fifo.opened);
}

TEST_F(RemoteResourceServiceTest, AbortEndsFetchesOnOtherThreadsAndRefusesNewOnes) {
    server.addRoute("/stall", HttpTestServer::hostile("stall"));
    server.addRoute("/doc", HttpTestServer::ok("<doc/>"));
    const QString stall = url("/stall");
    std::mutex results;
    QString error;
    QNetworkReply::NetworkError code = QNetworkReply::NoError;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        std::lock_guard<std::mutex> lock(results);
        RemoteResourceService::instance().getResource(stall, error, 60);
        code = RemoteResourceService::instance().getLastError();
    }));
    worker->start();
    ASSERT_TRUE(schedtest::waitUntil([&] { return server.requestCount("/stall") == 1; }));
    const auto started = std::chrono::steady_clock::now();

    service.abortFetches();

    ASSERT_TRUE(worker->wait(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    {
        std::lock_guard<std::mutex> lock(results);
        EXPECT_EQ(code, QNetworkReply::OperationCanceledError);
        EXPECT_FALSE(error.isEmpty());
    }
    // Refused until fetches are accepted again; no request goes out meanwhile.
    QString refused;
    auto reply = fetch("/doc", refused);
    EXPECT_EQ(refused.toStdString(), "Operation canceled");
    EXPECT_EQ(service.getLastError(), QNetworkReply::OperationCanceledError);
    EXPECT_EQ(server.requestCount("/doc"), 0);

    service.acceptFetches();
    QString accepted;
    EXPECT_EQ(fetch("/doc", accepted)->readAll().toStdString(), "<doc/>");
    EXPECT_TRUE(accepted.isEmpty()) << accepted.toStdString();
}

TEST_F(RemoteResourceServiceTest, SchedulerShutdownEndsTheRunningTasksFetch) {
    server.addRoute("/stall", HttpTestServer::hostile("stall"));
    server.addRoute("/doc", HttpTestServer::ok("<doc/>"));
    const QString stall = url("/stall");
    const QString doc = url("/doc");
    std::atomic<int> fetchesAfterTheAbort{0};
    std::atomic<bool> secondRefused{false};
    std::atomic<bool> docFetched{false};
    schedtest::RecordingTask hanging("Hanging Fetch");
    hanging.setBody([&] {
        QString error;
        RemoteResourceService::instance().getResource(stall, error, 60);
        // A task that goes on fetching once its first fetch is ended is refused too.
        RemoteResourceService::instance().getResource(doc, error, 60);
        secondRefused = error == "Operation canceled";
        ++fetchesAfterTheAbort;
        return false;
    });
    schedtest::RecordingTask later("Later Fetch");
    later.setBody([&] {
        QString error;
        docFetched =
            RemoteResourceService::instance().getResource(doc, error, 10)->readAll() == "<doc/>";
        return docFetched.load();
    });
    vpcore::TaskScheduler& scheduler = vpcore::TaskScheduler::instance();
    schedtest::ShutdownAtScopeExit stopAtEnd;
    scheduler.startScheduler();
    scheduler.scheduleAtInterval(&hanging, 3600, true);
    ASSERT_TRUE(schedtest::waitUntil([&] { return server.requestCount("/stall") == 1; }));
    const auto started = std::chrono::steady_clock::now();

    schedtest::runOrDie([&] { scheduler.shutdown(); }, 20000, "shutdown");

    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_EQ(fetchesAfterTheAbort, 1);
    EXPECT_TRUE(secondRefused);
    EXPECT_EQ(server.requestCount("/doc"), 0);

    // Started again, the scheduler's tasks fetch as before.
    scheduler.startScheduler();
    scheduler.scheduleAtInterval(&later, 3600, true);
    EXPECT_TRUE(schedtest::waitUntil([&] { return docFetched.load(); }));
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
// Headers that never end: the fetch ends at its deadline on whichever thread it runs, nothing
// reads them afterwards, and the thread's end does not wait for its manager.
TEST_F(RemoteResourceServiceTest, EndlessHeadersEndAtTheDeadlineAndAreNotReadAfterwards) {
    server.addRoute("/headers", HttpTestServer::hostile("endless-headers"));
    server.addRoute("/doc", HttpTestServer::ok("<doc/>"));
    const QString target = url("/headers");
    const QString good = url("/doc");
    struct Outcome {
        QString error;
        QNetworkReply::NetworkError code = QNetworkReply::NoError;
        std::chrono::steady_clock::duration took{};
        QString next;
    };
    const auto fetchBoth = [&target, &good](Outcome& outcome) {
        const auto started = std::chrono::steady_clock::now();
        auto reply = RemoteResourceService::instance().getResource(target, outcome.error, 2);
        outcome.took = std::chrono::steady_clock::now() - started;
        outcome.code = RemoteResourceService::instance().getLastError();
        QString error;
        outcome.next = QString::fromUtf8(
            RemoteResourceService::instance().getResource(good, error, 5)->readAll());
    };

    Outcome here;
    fetchBoth(here);

    Outcome there;
    std::mutex results;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        std::lock_guard<std::mutex> lock(results);
        fetchBoth(there);
    }));
    const auto started = std::chrono::steady_clock::now();
    worker->start();
    ASSERT_TRUE(worker->wait(20000));
    const auto workerLife = std::chrono::steady_clock::now() - started;
    std::lock_guard<std::mutex> lock(results);

    for (const Outcome* outcome : {&here, &there}) {
        EXPECT_EQ(outcome->error.toStdString(), "Timed out.");
        EXPECT_EQ(outcome->code, QNetworkReply::TimeoutError);
        EXPECT_LT(outcome->took, std::chrono::milliseconds(3500));
        EXPECT_EQ(outcome->next.toStdString(), "<doc/>");
    }
    // Its fetches and its manager's end: no wait of seconds for the manager's HTTP thread.
    EXPECT_LT(workerLife, there.took + std::chrono::milliseconds(2500));

    // Once the fetches have ended, nobody reads the headers any more.
    const long long sent = server.hostileBytesStreamed();
    EXPECT_GT(sent, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LT(server.hostileBytesStreamed() - sent, 1LL << 20);
}

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
