#include <gtest/gtest.h>

#include <QByteArray>
#include <QDomDocument>
#include <QNetworkReply>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "HttpTestServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "WaitUntil.h"
#include "services/RemoteResourceService.h"
#include "services/StatusService.h"
#include "services/TaskScheduler.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"
#include "weather/IWeatherModel.h"

using testsupport::HttpTestServer;
using testsupport::LogCapture;
using vpcore::AbstractXMLWeatherInfoProvider;
using vpcore::IWeatherModel;
using vpcore::StatusMessage_t;
using vpcore::StatusService;
using vpcore::VpUpdateException;

namespace {

const std::vector<std::string> kObservationElements = {
    "temp_f",           "temp_c",   "dewpoint_f", "dewpoint_c", "relative_humidity",
    "observation_time", "location", "pressure_in"};

// A provider as the real ones are written: a station id as location, a URL on the host it is
// given, the required elements of a current observation, and a doUpdate that reports failures.
class ObservationProvider : public AbstractXMLWeatherInfoProvider {
public:
    ObservationProvider(const std::string& host, const std::string& stationId,
                        std::vector<std::string> required = kObservationElements)
        : AbstractXMLWeatherInfoProvider(stationId, 10),
          host(host),
          required(std::move(required)) {}

    std::optional<VpUpdateException> caught;
    std::string locationText;  // the text of <location> of the last document read

protected:
    std::string buildUrl() const override {
        return location.empty() ? std::string()
                                : "http://" + host + "/xml/current_obs/" + location + ".xml";
    }
    bool doUpdate(IWeatherModel* const) override {
        try {
            const std::unique_ptr<QDomDocument> document = getXMLDocument();
            locationText =
                document->documentElement().firstChildElement("location").text().toStdString();
            return true;
        } catch (const VpUpdateException& e) {
            caught = e;
            handleException(e);
            return false;
        }
    }
    std::vector<std::string> getValidationNodeList() const override { return required; }

private:
    std::string host;
    std::vector<std::string> required;
};

class Model : public IWeatherModel {};

class AbstractXMLWeatherInfoProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        StatusService::Instance().registerUpdateHandler(
            StatusService::UpdateHandler(this, &AbstractXMLWeatherInfoProviderTest::onStatus));
        sanityCheckBefore =
            vpcore::RemoteResourceService::instance().isSanityCheckConnectionEnabled();
    }
    void TearDown() override {
        StatusService::Instance().registerUpdateHandler(StatusService::UpdateHandler());
        vpcore::RemoteResourceService::instance().enableSanityCheckConnection(sanityCheckBefore);
        qunsetenv("OMBRIX_CONNECTIVITY_URL");
    }
    void onStatus(const StatusMessage_t& message) { statusMessages.push_back(message); }

    std::vector<StatusMessage_t> statusMessages;
    bool sanityCheckBefore = false;
    Model model;
};

// A port on 127.0.0.1 where nothing listens any more.
int closedPort() {
    HttpTestServer server;
    const int port = server.port();
    server.stop();
    return port;
}

}  // namespace

TEST_F(AbstractXMLWeatherInfoProviderTest, GoodDocumentIsParsedWithItsDeclaredEncoding) {
    HttpTestServer server;
    server.addRoute("/xml/current_obs/KSJC.xml",
                    HttpTestServer::fixture("providers/observation_good.xml"));
    ObservationProvider provider(server.host(), "KSJC");
    LogCapture log;

    EXPECT_TRUE(provider.update(&model));

    EXPECT_EQ(provider.getUrl(), server.url("/xml/current_obs/KSJC.xml"));
    EXPECT_EQ(server.requestCount("/xml/current_obs/KSJC.xml"), 1);
    EXPECT_FALSE(provider.caught.has_value());
    EXPECT_EQ(provider.locationText, "San Jos\u00e9 International Airport, CA");
    EXPECT_TRUE(statusMessages.empty());
    EXPECT_EQ(log.count("ERROR"), 0) << log.text();
}

TEST_F(AbstractXMLWeatherInfoProviderTest, MissingRequiredElementMakesTheDocumentUnsupported) {
    const std::string unsupported =
        "Document unsupported.\nSome expected nodes do not exist.\nPlease choose another weather "
        "location.";
    struct Case {
        const char* name;
        std::vector<std::string> required;
        std::string missing;
    };
    // The fixture has no relative_humidity, and its pressure_in sits inside another element.
    const std::vector<Case> cases = {
        {"the first missing name stops the check", kObservationElements, "relative_humidity"},
        {"an element below a child of the root does not count",
         {"temp_f", "location", "pressure_in"},
         "pressure_in"},
    };
    HttpTestServer server;
    server.addRoute("/xml/current_obs/KDTO.xml",
                    HttpTestServer::fixture("providers/observation_missing_elements.xml"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        statusMessages.clear();
        ObservationProvider provider(server.host(), "KDTO", c.required);
        LogCapture log;

        EXPECT_FALSE(provider.update(&model));

        ASSERT_TRUE(provider.caught.has_value());
        EXPECT_EQ(provider.caught->getErrorCode(), vpcore::VP_UNSUPPORTED_DOCUMENT);
        EXPECT_EQ(std::string(provider.caught->what()), unsupported);
        EXPECT_EQ(log.count("ERROR: Node validation error: "), 1) << log.text();
        EXPECT_TRUE(
            log.contains("ERROR: Node validation error: " + c.missing + " does not exist.\n"))
            << log.text();
        ASSERT_EQ(statusMessages.size(), 1u);
        EXPECT_EQ(statusMessages[0].message, "Could not update current weather. " + unsupported);
        EXPECT_EQ(statusMessages[0].popup, 0);
        EXPECT_TRUE(log.contains("ERROR: " + unsupported + "\n")) << log.text();
    }
}

TEST_F(AbstractXMLWeatherInfoProviderTest, PrefixedNamesAreMatchedAsWritten) {
    // The alert feed's required elements carry their prefix; without namespace processing the
    // prefix is part of the name, declared or not.
    HttpTestServer server;
    server.addRoute("/xml/current_obs/KCAP.xml",
                    HttpTestServer::ok("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                       "<feed xmlns=\"http://www.w3.org/2005/Atom\"\n"
                                       "      xmlns:cap=\"urn:oasis:names:tc:emergency:cap:1.1\">\n"
                                       "  <title>Alerts</title>\n"
                                       "  <cap:status>Actual</cap:status>\n"
                                       "  <ha:note>undeclared prefix</ha:note>\n"
                                       "</feed>\n"));
    struct Case {
        const char* name;
        std::vector<std::string> required;
        bool found;
    };
    const std::vector<Case> cases = {
        {"names with their prefixes", {"title", "cap:status", "ha:note"}, true},
        {"a local name alone", {"status"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ObservationProvider provider(server.host(), "KCAP", c.required);
        LogCapture log;
        EXPECT_EQ(provider.update(&model), c.found);
        if (c.found) {
            EXPECT_FALSE(provider.caught.has_value()) << provider.caught->what();
        } else {
            ASSERT_TRUE(provider.caught.has_value());
            EXPECT_EQ(provider.caught->getErrorCode(), vpcore::VP_UNSUPPORTED_DOCUMENT);
            EXPECT_TRUE(log.contains("ERROR: Node validation error: status does not exist.\n"))
                << log.text();
        }
    }
}

TEST_F(AbstractXMLWeatherInfoProviderTest, BodyThatIsNotXmlIsAParseErrorWithPosition) {
    const QByteArray body = QByteArray::fromStdString(
        testsupport::readFile(std::string(OMBRIX_FIXTURE_DIR) + "/providers/not_xml.html"));
    ASSERT_FALSE(body.isEmpty());
    // The parser itself says what and where; the fault is the unclosed <br> on line 3.
    QString parserMessage;
    int line = 0;
    int column = 0;
    ASSERT_FALSE(QDomDocument().setContent(body, &parserMessage, &line, &column));
    ASSERT_EQ(line, 3);

    HttpTestServer server;
    server.addRoute("/xml/current_obs/KBSY.xml",
                    HttpTestServer::ok(body.toStdString(), "text/html"));
    ObservationProvider provider(server.host(), "KBSY");
    LogCapture log;

    EXPECT_FALSE(provider.update(&model));

    ASSERT_TRUE(provider.caught.has_value());
    EXPECT_EQ(provider.caught->getErrorCode(), vpcore::VP_PARSE_ERROR);
    const std::string expected = "Error parsing document: " + parserMessage.toStdString() +
                                 " line: 3 col: " + std::to_string(column);
    EXPECT_EQ(std::string(provider.caught->what()), expected);
    ASSERT_EQ(statusMessages.size(), 1u);
    EXPECT_EQ(statusMessages[0].message, "Could not update current weather. ");
    EXPECT_TRUE(log.contains("ERROR: " + expected + "\n")) << log.text();
}

TEST_F(AbstractXMLWeatherInfoProviderTest, FailedFetchIsARetrievalErrorWhileTheNetworkIsUp) {
    HttpTestServer connectivity;  // answers 404 "no route", which still proves a network
    qputenv("OMBRIX_CONNECTIVITY_URL", connectivity.url("/").c_str());
    HttpTestServer server;  // no route: 404
    struct Case {
        const char* name;
        std::string host;
    };
    const std::vector<Case> cases = {
        {"server down", "127.0.0.1:" + std::to_string(closedPort())},
        {"document not found", server.host()},
        {"host not found", "nws-feed.invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        statusMessages.clear();
        ObservationProvider provider(c.host, "KXYZ");
        LogCapture log;

        EXPECT_FALSE(provider.update(&model));

        ASSERT_TRUE(provider.caught.has_value());
        EXPECT_EQ(provider.caught->getErrorCode(), vpcore::VP_RETRIEVAL_ERROR);
        const std::string message = provider.caught->what();
        EXPECT_EQ(message.rfind("Error retrieving document: ", 0), 0u) << message;
        EXPECT_GT(message.size(), std::string("Error retrieving document: ").size());
        // The detail goes to the log only.
        ASSERT_EQ(statusMessages.size(), 1u);
        EXPECT_EQ(statusMessages[0].message, "Could not update current weather. ");
        EXPECT_TRUE(log.contains("ERROR: " + message + "\n")) << log.text();
    }
    EXPECT_TRUE(vpcore::RemoteResourceService::instance().isSanityCheckConnectionEnabled());
}

TEST_F(AbstractXMLWeatherInfoProviderTest, FailedLookupWithTheNetworkDownIsNoNetworkConnection) {
    qputenv("OMBRIX_CONNECTIVITY_URL", "http://connectivity-check.invalid/");
    ObservationProvider provider("nws-feed.invalid", "KXYZ");
    LogCapture log;

    EXPECT_FALSE(provider.update(&model));

    ASSERT_TRUE(provider.caught.has_value());
    EXPECT_EQ(provider.caught->getErrorCode(), vpcore::VP_NO_NETWORK_CONNECTION);
    const std::string message = provider.caught->what();
    EXPECT_EQ(message.rfind("Error retrieving document: ", 0), 0u) << message;
    ASSERT_EQ(statusMessages.size(), 1u);
    EXPECT_EQ(statusMessages[0].message,
              "Could not update current weather. No network connection.");
    EXPECT_TRUE(log.contains("ERROR: " + message + "\n")) << log.text();
}

TEST_F(AbstractXMLWeatherInfoProviderTest, EmptyUrlFetchesNothing) {
    HttpTestServer server;
    ObservationProvider provider(server.host(), "");
    LogCapture log;

    EXPECT_FALSE(provider.update(&model));
    EXPECT_TRUE(log.contains("ERROR: Cannot update with no URL\n")) << log.text();

    log.clear();
    EXPECT_FALSE(provider.test());
    EXPECT_TRUE(log.contains("ERROR: No URL\n")) << log.text();

    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_FALSE(provider.caught.has_value());
    EXPECT_TRUE(statusMessages.empty());
}

TEST_F(AbstractXMLWeatherInfoProviderTest, TestChecksTheDocumentWithoutAnUpdate) {
    HttpTestServer server;
    server.addRoute("/xml/current_obs/KSJC.xml",
                    HttpTestServer::fixture("providers/observation_good.xml"));
    server.addRoute("/xml/current_obs/KDTO.xml",
                    HttpTestServer::fixture("providers/observation_missing_elements.xml"));

    ObservationProvider good(server.host(), "KSJC");
    EXPECT_TRUE(good.test());
    EXPECT_EQ(good.getUrl(), server.url("/xml/current_obs/KSJC.xml"));
    EXPECT_TRUE(good.locationText.empty());  // doUpdate did not run
    EXPECT_TRUE(statusMessages.empty());

    ObservationProvider unsupported(server.host(), "KDTO");
    LogCapture log;
    EXPECT_FALSE(unsupported.test());
    ASSERT_EQ(statusMessages.size(), 1u);
    EXPECT_EQ(statusMessages[0].message.rfind(
                  "Could not update current weather. Document unsupported.", 0),
              0u);
    EXPECT_TRUE(log.contains("ERROR: Node validation error: relative_humidity does not exist.\n"));
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(AbstractXMLWeatherInfoProviderTest, TestWithoutRequiredElementsThrows) {
    HttpTestServer server;
    server.addRoute("/xml/current_obs/KSJC.xml",
                    HttpTestServer::fixture("providers/observation_good.xml"));
    ObservationProvider provider(server.host(), "KSJC", {});
    try {
        provider.test();
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "No validation node list. Cannot test the document.");
    }
    EXPECT_EQ(server.requestCount(), 0);
    // An empty list validates any well-formed document on update.
    EXPECT_TRUE(provider.update(&model));
}

TEST_F(AbstractXMLWeatherInfoProviderTest, CopyKeepsStationAndTimeout) {
    HttpTestServer server;
    server.addRoute(
        "/xml/current_obs/KSLW.xml",
        HttpTestServer::delayed(HttpTestServer::fixture("providers/observation_good.xml"), 3000));
    ObservationProvider provider(server.host(), "KSLW");
    provider.setTimeout(1);
    ObservationProvider copy(provider);

    EXPECT_FALSE(copy.update(&model));

    EXPECT_EQ(copy.getUrl(), server.url("/xml/current_obs/KSLW.xml"));
    ASSERT_TRUE(copy.caught.has_value());
    EXPECT_EQ(copy.caught->getErrorCode(), vpcore::VP_RETRIEVAL_ERROR);
    EXPECT_STREQ(copy.caught->what(), "Error retrieving document: Timed out.");
}

namespace {

// The same provider reading a local file: a file:// URL takes the same road through the
// remote resource service without Qt's network thread, so these tests also run under
// ThreadSanitizer. The location is the file's path.
class FileProvider : public ObservationProvider {
public:
    explicit FileProvider(const std::string& path,
                          std::vector<std::string> required = kObservationElements)
        : ObservationProvider(std::string(), path, std::move(required)) {}

protected:
    std::string buildUrl() const override {
        return QUrl::fromLocalFile(QString::fromStdString(location)).toString().toStdString();
    }
};

class FileProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        StatusService::Instance().registerUpdateHandler(
            StatusService::UpdateHandler(this, &FileProviderTest::onStatus));
    }
    void TearDown() override {
        StatusService::Instance().registerUpdateHandler(StatusService::UpdateHandler());
    }
    void onStatus(const StatusMessage_t& message) {
        std::lock_guard<std::mutex> lock(mutex);
        statusMessages.push_back(message);
    }

    std::mutex mutex;
    std::vector<StatusMessage_t> statusMessages;
    testsupport::TempDir dir;
    Model model;
};

std::string nested(int levels) {
    std::string body =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<current_observation>\r\n<location>Denton, TX</location>";
    for (int i = 0; i < levels; ++i) {
        body += "<n>";
    }
    for (int i = 0; i < levels; ++i) {
        body += "</n>";
    }
    return body + "\n</current_observation>\n";
}

// Runs one provider update on the scheduler's runner thread, as the program does.
class UpdateTask : public vpcore::IScheduledTask {
public:
    UpdateTask(ObservationProvider& provider, IWeatherModel& model, std::atomic<int>& passed,
               std::atomic<int>& done)
        : provider(provider), model(model), passed(passed), done(done) {}
    bool performTask() override {
        const bool result = provider.update(&model);
        if (result) {
            ++passed;
        }
        ++done;
        return result;
    }
    std::string getTaskName() const override { return "File Update"; }
    bool contributesToProgressBar() const override { return false; }
    std::string getDescription() const override { return std::string(); }

private:
    ObservationProvider& provider;
    IWeatherModel& model;
    std::atomic<int>& passed;
    std::atomic<int>& done;
};

}  // namespace

// An observation of `nodes` elements and attributes on one line: the root, its location and
// empty elements, the last of them with an attribute when withAttribute.
std::string manyNodes(int nodes, bool withAttribute) {
    std::string body = "<current_observation><location>Denton, TX</location>";
    int left = nodes - 2;
    if (withAttribute) {
        body += "<a b=\"1\"/>";
        left -= 2;
    }
    body.reserve(body.size() + static_cast<std::size_t>(left) * 4 + 32);
    for (int i = 0; i < left; ++i) {
        body += "<a/>";
    }
    return body + "</current_observation>";
}

TEST_F(FileProviderTest, DeepLargeOrCrowdedRepliesAreRefusedBeforeADocumentIsBuilt) {
    const int limit = AbstractXMLWeatherInfoProvider::MAX_DOCUMENT_DEPTH;
    const int nodeLimit = AbstractXMLWeatherInfoProvider::MAX_DOCUMENT_NODES;
    const std::string tooLarge = std::to_string(AbstractXMLWeatherInfoProvider::MAX_DOCUMENT_BYTES);
    std::string oversized = "<current_observation><location>Denton, TX</location><pad>";
    const std::string closing = "</pad></current_observation>";
    oversized.append(
        AbstractXMLWeatherInfoProvider::MAX_DOCUMENT_BYTES + 1 - oversized.size() - closing.size(),
        ' ');
    oversized += closing;
    struct Case {
        const char* name;
        std::string body;
        const char* error;  // the start of the parse error; null when accepted
    };
    const std::vector<Case> cases = {
        {"as deep as accepted", nested(limit - 1), nullptr},
        {"one level deeper", nested(limit),
         "Error parsing document: elements nested deeper than 256 levels line: 3 col: "},
        // A broken proxy: a full parse of this took minutes and freeing it overflowed the stack.
        {"two hundred thousand levels", nested(200000),
         "Error parsing document: elements nested deeper than 256 levels line: 3 col: "},
        {"one byte over the size cap", oversized,
         "Error parsing document: the document has 16777217 bytes, more than the 16777216 "
         "accepted"},
        {"as many nodes as accepted", manyNodes(nodeLimit, false), nullptr},
        {"one element more", manyNodes(nodeLimit + 1, false),
         "Error parsing document: more than 250000 elements and attributes line: 1 col: "},
        {"one attribute more", manyNodes(nodeLimit + 1, true),
         "Error parsing document: more than 250000 elements and attributes line: 1 col: "},
        // Within the byte limit, but a tree of it took more than a gigabyte.
        {"four million empty elements", manyNodes(4000000, false),
         "Error parsing document: more than 250000 elements and attributes line: 1 col: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        statusMessages.clear();
        FileProvider provider(dir.writeFile("reply.xml", c.body), {"location"});
        LogCapture log;

        const auto started = std::chrono::steady_clock::now();
        const bool updated = provider.update(&model);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

        if (c.error == nullptr) {
            EXPECT_TRUE(updated);
            EXPECT_EQ(provider.locationText, "Denton, TX");
            continue;
        }
        EXPECT_FALSE(updated);
        ASSERT_TRUE(provider.caught.has_value());
        EXPECT_EQ(provider.caught->getErrorCode(), vpcore::VP_PARSE_ERROR);
        const std::string message = provider.caught->what();
        EXPECT_EQ(message.rfind(c.error, 0), 0u) << message;
        EXPECT_TRUE(log.contains("ERROR: " + message + "\n")) << log.text();
        ASSERT_EQ(statusMessages.size(), 1u);
        EXPECT_EQ(statusMessages[0].message, "Could not update current weather. ");
        // Refused in a time that has nothing to do with a full parse (minutes, see above).
        EXPECT_LT(seconds, 30.0);
    }
}

namespace {

std::atomic<int> connectionReports{0};

void countConnectionReport(vpcore::NetworkConnectionFlag) {
    ++connectionReports;
}

}  // namespace

TEST_F(FileProviderTest, UpdatesOnTheRunnerThreadWhileTheGuiThreadUsesTheService) {
    const std::string good = std::string(OMBRIX_FIXTURE_DIR) + "/providers/observation_good.xml";
    const std::string missing =
        std::string(OMBRIX_FIXTURE_DIR) + "/providers/observation_missing_elements.xml";
    FileProvider runnerProvider(good);
    std::atomic<int> passed{0};
    std::atomic<int> done{0};
    const int rounds = 5;
    vpcore::TaskScheduler& scheduler = vpcore::TaskScheduler::instance();
    for (int i = 0; i < rounds; ++i) {
        scheduler.queueTask(new UpdateTask(runnerProvider, model, passed, done));
    }
    LogCapture log;
    vpcore::RemoteResourceService& service = vpcore::RemoteResourceService::instance();
    scheduler.startScheduler();

    // What the GUI thread does meanwhile: it registers a handler and reads the outcome. Two
    // fetches at once are left out: Qt guards its own shared data with locks that the race
    // detector cannot see.
    int registered = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    // At least one round: on a loaded machine the runner may finish before this loop starts.
    do {
        if (registered < 20) {
            service.registerNetworkConnectionHandler(
                fastdelegate::FastDelegate1<vpcore::NetworkConnectionFlag>(&countConnectionReport));
            ++registered;
        }
        EXPECT_TRUE(service.isNetworkConnected());
        EXPECT_NE(service.getLastError(), QNetworkReply::TimeoutError);
        // Switched on by every fetch of a provider.
        static_cast<void>(service.isSanityCheckConnectionEnabled());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (done < rounds && std::chrono::steady_clock::now() < deadline);
    const bool finished = testsupport::waitUntil([&] { return done == rounds; }, 30000);
    scheduler.shutdown();
    ASSERT_TRUE(finished);
    EXPECT_EQ(passed, rounds);
    EXPECT_EQ(runnerProvider.locationText, "San Jos\u00e9 International Airport, CA");
    EXPECT_EQ(log.count("INFO: TaskScheduler - task <File Update> completed successfully"), rounds);

    // And the GUI thread's own check of a feed takes the same road.
    FileProvider goodFeed(good);
    FileProvider unsupportedFeed(missing);
    EXPECT_TRUE(goodFeed.test());
    EXPECT_FALSE(unsupportedFeed.test());
    EXPECT_GT(connectionReports, 0);
}
