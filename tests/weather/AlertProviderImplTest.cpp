#include <gtest/gtest.h>

#include <QByteArray>
#include <QDomDocument>
#include <QFile>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "AlertTestSupport.h"
#include "HttpTestServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/StatusService.h"
#include "weather/AlertModel.h"
#include "weather/AlertProviderImpl.h"

using alerttest::EventRecorder;
using alerttest::messages;
using testsupport::HttpTestServer;
using testsupport::LogCapture;
using vpcore::AlertModel;
using vpcore::AlertProviderImpl;
using vpcore::NotificationService;
using vpcore::PROP_ALERT_NEW;
using vpcore::PROP_ALERTS_CHANGED;
using vpcore::PROP_ALERTS_EXPIRED;
using vpcore::StatusMessage_t;
using vpcore::StatusService;
using vpcore::VpUpdateException;

namespace {

typedef std::vector<short> Events;

const std::string kFeedPath = "/cap/wwaatmget.php?x=TXC453";

std::string fixtureText(const std::string& name) {
    return testsupport::readFile(std::string(OMBRIX_FIXTURE_DIR) + "/alerts/" + name);
}

// A fixture whose links name the given host where it reads "@HOST@".
std::string fixtureOn(const std::string& name, const std::string& host) {
    std::string text = fixtureText(name);
    for (std::size_t at = text.find("@HOST@"); at != std::string::npos;
         at = text.find("@HOST@", at)) {
        text.replace(at, 6, host);
    }
    return text;
}

QDomDocument parsed(const std::string& text) {
    QDomDocument document;
    EXPECT_TRUE(document.setContent(QByteArray::fromStdString(text)));
    return document;
}

class ExposedProvider : public AlertProviderImpl {
public:
    using AlertProviderImpl::AlertProviderImpl;
    using AlertProviderImpl::buildUrl;
};

class HostVariable {
public:
    explicit HostVariable(const char* value) {
        if (value == nullptr) {
            qunsetenv("OMBRIX_ALERTS_HOST");
        } else {
            qputenv("OMBRIX_ALERTS_HOST", value);
        }
    }
    ~HostVariable() { qunsetenv("OMBRIX_ALERTS_HOST"); }
};

}  // namespace

TEST(AlertProviderImplUrlTest, FeedAddressIsTheServicePathFollowedByTheCodeUnchanged) {
    struct Case {
        const char* host;
        const char* code;
        const char* url;
    } const cases[] = {
        {nullptr, "TXC453", "https://alerts.weather.gov/cap/wwaatmget.php?x=TXC453"},
        {"", "ORZ006", "https://alerts.weather.gov/cap/wwaatmget.php?x=ORZ006"},
        {"127.0.0.1:8080", "TXC453", "http://127.0.0.1:8080/cap/wwaatmget.php?x=TXC453"},
        {"alerts.example", "akz211", "http://alerts.example/cap/wwaatmget.php?x=akz211"},
        {"https://alerts.example:8443", "TXC453",
         "https://alerts.example:8443/cap/wwaatmget.php?x=TXC453"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host == nullptr ? "(unset)" : c.host);
        HostVariable host(c.host);
        EXPECT_EQ(ExposedProvider(c.code).buildUrl(), c.url);
    }
}

TEST(AlertProviderImplParseTest, RealFeedShapesYieldTheDatedEntriesInFeedOrder) {
    const AlertModel::AlertList alerts =
        AlertProviderImpl::parseAlerts(parsed(fixtureText("feed_mixed_entries.xml")));

    ASSERT_EQ(alerts.size(), 3u);
    const vpcore::Alert_t& onlyExpiry = *alerts[0];
    EXPECT_EQ(onlyExpiry.id, "http://alerts.example/cap/wwacapget.php?x=AK1.WindChillAdvisory.01");
    EXPECT_EQ(onlyExpiry.expires, "2026-12-12T15:00:00-09:00");
    EXPECT_EQ(onlyExpiry.published, "");
    EXPECT_EQ(onlyExpiry.effective, "");
    EXPECT_EQ(onlyExpiry.updated, "");

    const vpcore::Alert_t& wrapped = *alerts[1];
    EXPECT_EQ(wrapped.id,
              "http://alerts.example/cap/wwacapget.php?x=AK3.SpecialWeatherStatement.03&y=1");
    EXPECT_EQ(wrapped.title, "Special Weather Statement for Nome \u2013 caf\u00e9 area");
    EXPECT_EQ(wrapped.summary,
              "Blowing snow near Nome; visibility below 1/4 mile. Road to caf\u00e9 closed.");
    EXPECT_EQ(wrapped.published, "2026-12-10T12:00:00-09:00");
    EXPECT_FALSE(wrapped.viewed);
    EXPECT_EQ(wrapped.description, nullptr);

    EXPECT_EQ(alerts[2]->id, "") << "an entry without id is still shown";
    EXPECT_EQ(alerts[2]->title, "High Surf Advisory");
}

TEST(AlertProviderImplParseTest, WhiteSpaceAroundAndInsideTextsIsFolded) {
    const std::string host = "127.0.0.1:1";
    const AlertModel::AlertList plain =
        AlertProviderImpl::parseAlerts(parsed(fixtureOn("feed_two_alerts.xml", host)));
    const AlertModel::AlertList reflowed =
        AlertProviderImpl::parseAlerts(parsed(fixtureOn("feed_two_alerts_reflowed.xml", host)));
    ASSERT_EQ(plain.size(), 2u);
    ASSERT_EQ(reflowed.size(), 2u);
    // The reflowed feed lists them the other way round.
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const vpcore::Alert_t& a = *plain[i];
        const vpcore::Alert_t& b = *reflowed[1 - i];
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.summary, b.summary);
        EXPECT_EQ(a.title, b.title);
        EXPECT_TRUE(a == b);
    }
    EXPECT_EQ(plain[1]->published, "2026-12-10T14:24:00-00:00") << "kept as the feed wrote it";
    EXPECT_EQ(reflowed[0]->published, "2026-12-10T14:24:00+00:00");
}

TEST(AlertProviderImplParseTest, NoActiveAlertsFeedYieldsAnEmptyList) {
    EXPECT_TRUE(
        AlertProviderImpl::parseAlerts(parsed(fixtureOn("feed_no_alerts.xml", "h"))).empty());
}

TEST(AlertProviderImplParseTest, DocumentThatIsNotAFeedIsUnsupported) {
    try {
        AlertProviderImpl::parseAlerts(parsed(fixtureText("not_a_feed.html")));
        FAIL() << "no exception";
    } catch (const VpUpdateException& e) {
        EXPECT_EQ(e.getErrorCode(), vpcore::VP_UNSUPPORTED_DOCUMENT);
        EXPECT_EQ(std::string(e.what()),
                  "Document unsupported.\nThe alert feed has no feed element.");
    }
}

namespace {

class AlertProviderImplTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        qputenv("OMBRIX_ALERTS_HOST", server.host().c_str());
        StatusService::Instance().registerUpdateHandler(
            StatusService::UpdateHandler(this, &AlertProviderImplTest::onStatus));
        model = std::make_unique<AlertModel>();
        model->setProvider(std::make_unique<AlertProviderImpl>("TXC453"));
        recorder = std::make_unique<EventRecorder>(
            std::set<short>{PROP_ALERTS_CHANGED, PROP_ALERT_NEW, PROP_ALERTS_EXPIRED});
    }
    void TearDown() override {
        StatusService::Instance().registerUpdateHandler(StatusService::UpdateHandler());
        qunsetenv("OMBRIX_ALERTS_HOST");
        recorder.reset();
        model.reset();
        NotificationService::Instance().reset();
    }
    void onStatus(const StatusMessage_t& message) { statusMessages.push_back(message.message); }

    void serve(const std::string& fixture) {
        server.addRoute(kFeedPath, HttpTestServer::ok(fixtureOn(fixture, server.host())));
    }
    // One scheduled run of the model: its result, with the events it caused.
    bool run(Events& events) {
        recorder->take();
        const bool result = model->performTask();
        events = recorder->take();
        return result;
    }
    std::size_t held() const {
        AlertModel::AlertList list;
        model->getAlertItems(list);
        return list.size();
    }
    std::string cap(const std::string& query) const {
        return "http://" + server.host() + "/cap/wwacapget.php?x=" + query;
    }

    HttpTestServer server;
    std::vector<std::string> statusMessages;
    std::unique_ptr<AlertModel> model;
    std::unique_ptr<EventRecorder> recorder;
};

}  // namespace

// Fixture feeds served one after another: two alerts, the same again written differently,
// one republished, a failed fetch and a page that is no feed (both keep the list), then none.
TEST_F(AlertProviderImplTest, FeedsServedOneAfterAnotherRaiseTheEventsOfTheirChanges) {
    Events events;
    const std::string flood = "ID: " + cap("TX126A1.FloodWarning.126A2TX.EWXFLWEWX.01") +
                              "\n"
                              "TITLE: Flood Warning issued December 10 at 9:00AM CST until "
                              "December 11 at 6:00AM CST by NWS\n"
                              "UPDATED: 2026-12-10T09:00:00-06:00\n"
                              "PUBLISHED: 2026-12-10T09:00:00-06:00\n"
                              "EFFECTIVE: 2026-12-10T09:00:00-06:00\n"
                              "EXPIRES: 2026-12-11T06:00:00-06:00\n"
                              "SUMMARY: ...THE FLOOD WARNING CONTINUES FOR THE COLORADO RIVER AT "
                              "AUSTIN... * UNTIL FURTHER NOTICE.\n";
    const std::string airTitle =
        "TITLE: Air Quality Alert issued December 10 at 8:24AM CST by NWS Austin/San Antonio "
        "http://www.srh.noaa.gov/ewx/\n";
    const std::string airSummary =
        "SUMMARY: ...OZONE ACTION DAY FOR THURSDAY... GROUND-LEVEL OZONE IS EXPECTED TO REACH "
        "UNHEALTHY LEVELS.\n";
    const std::string airId = "ID: " + cap("TX126A3.AirQualityAlert.126A4TX.EWXAQAEWX.02") + "\n";
    const std::string air = airId + airTitle +
                            "UPDATED: 2026-12-10T14:24:00-00:00\n"
                            "PUBLISHED: 2026-12-10T14:24:00-00:00\n"
                            "EFFECTIVE: 2026-12-10T14:24:00-00:00\n"
                            "EXPIRES: 2026-12-11T05:00:00-00:00\n" +
                            airSummary;
    {
        SCOPED_TRACE("two alerts");
        serve("feed_two_alerts.xml");
        LogCapture log;
        EXPECT_TRUE(run(events));
        EXPECT_EQ(events, (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
        EXPECT_EQ(messages(log), (std::vector<std::string>{"New weather alert!!!",
                                                           "New or changed alert(s) available:",
                                                           "Alert 1", flood, "Alert 2", air}));
    }
    {
        SCOPED_TRACE("the same two, reordered and written with other white space");
        serve("feed_two_alerts_reflowed.xml");
        LogCapture log;
        EXPECT_TRUE(run(events));
        EXPECT_EQ(events, Events{});
        EXPECT_EQ(messages(log), std::vector<std::string>{"No new weather alerts."});
    }
    {
        SCOPED_TRACE("the air quality alert republished");
        serve("feed_two_alerts_republished.xml");
        LogCapture log;
        EXPECT_TRUE(run(events));
        EXPECT_EQ(events, Events{PROP_ALERTS_CHANGED});
        const std::string republished = airId + airTitle +
                                        "UPDATED: 2026-12-10T16:40:00-00:00\n"
                                        "PUBLISHED: 2026-12-10T16:40:00-00:00\n"
                                        "EFFECTIVE: 2026-12-10T14:24:00-00:00\n"
                                        "EXPIRES: 2026-12-11T05:00:00-00:00\n" +
                                        airSummary;
        EXPECT_EQ(messages(log),
                  (std::vector<std::string>{"New or changed alert(s) available:", "Alert 1", flood,
                                            "Alert 2", republished}));
    }
    {
        SCOPED_TRACE("the service fails");
        server.addRoute(kFeedPath, HttpTestServer::status(503, "busy"));
        LogCapture log;
        EXPECT_FALSE(run(events));
        EXPECT_EQ(events, Events{});
        EXPECT_EQ(held(), 2u) << "a failed fetch expires nothing";
        EXPECT_EQ(statusMessages, std::vector<std::string>{"Could not update current weather. "});
        EXPECT_EQ(log.count("ERROR: Error retrieving document: "), 1) << log.text();
    }
    {
        SCOPED_TRACE("a page that is no feed");
        statusMessages.clear();
        server.addRoute(kFeedPath, HttpTestServer::ok(fixtureText("not_a_feed.html")));
        EXPECT_FALSE(run(events));
        EXPECT_EQ(events, Events{});
        EXPECT_EQ(held(), 2u);
        EXPECT_EQ(statusMessages, std::vector<std::string>{
                                      "Could not update current weather. Document unsupported.\n"
                                      "The alert feed has no feed element."});
    }
    {
        SCOPED_TRACE("no active alerts");
        serve("feed_no_alerts.xml");
        LogCapture log;
        EXPECT_TRUE(run(events));
        EXPECT_EQ(events, Events{PROP_ALERTS_EXPIRED});
        EXPECT_EQ(messages(log), std::vector<std::string>{"Weather alert(s) have expired."});
        EXPECT_EQ(held(), 0u);
    }
    EXPECT_EQ(server.requestCount(kFeedPath), 6);
}

TEST_F(AlertProviderImplTest, FeedThatIsNotXmlKeepsTheListAndReportsAParseError) {
    Events events;
    serve("feed_two_alerts.xml");
    ASSERT_TRUE(run(events));
    server.addRoute(kFeedPath, HttpTestServer::ok("<feed><entry><id>cut short", "text/xml"));
    LogCapture log;
    EXPECT_FALSE(run(events));
    EXPECT_EQ(events, Events{});
    EXPECT_EQ(held(), 2u);
    EXPECT_EQ(log.count("ERROR: Error parsing document: "), 1) << log.text();
}

namespace {

// A feed of count entries, each a dated alert of its own.
std::string longFeed(int count) {
    std::string feed =
        "<?xml version='1.0' encoding='UTF-8'?>\n"
        "<feed xmlns='http://www.w3.org/2005/Atom' "
        "xmlns:cap='urn:oasis:names:tc:emergency:cap:1.1'>\n"
        "<id>http://feed/TXC453</id>\n";
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        feed += "<entry><id>http://cap/" + n + "</id>" +
                "<updated>2026-12-10T09:00:00-06:00</updated>"
                "<published>2026-12-10T09:00:00-06:00</published>"
                "<title>Special Weather Statement number " +
                n +
                " issued December 10 by NWS</title>"
                "<summary>...A LONG SUMMARY OF THE STATEMENT THAT TAKES A LINE OF ITS OWN IN "
                "THE DUMP OF THE ALERT...</summary>"
                "<cap:effective>2026-12-10T09:00:00-06:00</cap:effective>"
                "<cap:expires>2026-12-11T06:00:00-06:00</cap:expires></entry>\n";
    }
    return feed + "</feed>\n";
}

}  // namespace

// A feed of 10 000 entries through the real provider into a 1 MiB log file: the first alerts
// are dumped, the rest counted in one line, so the file is not reset during the update and
// the lines of the start-up survive.
TEST_F(AlertProviderImplTest, LongFeedIsSummarisedAndTheLogKeepsItsStartUpLines) {
    testsupport::TempDir dir;
    const std::string path = dir.filePath("Ombrix.log");
    vpcore::Logger& logger = vpcore::Logger::Instance();
    logger.setFile(path);
    logger.setMaxFileSize(1024);
    logger.log("INFO", "the start-up line");
    // The feed's own type, which the test server sends uncompressed (compressing 4 MB would
    // take most of the test's time).
    server.addRoute(kFeedPath, HttpTestServer::ok(longFeed(10000), "application/atom+xml"));
    LogCapture log;

    Events events;
    const bool updated = run(events);
    logger.setFile("");

    EXPECT_TRUE(updated);
    EXPECT_EQ(held(), 10000u);
    EXPECT_EQ(events, (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
    EXPECT_EQ(log.count("INFO: Alert "), 10) << "the first ten are dumped";
    EXPECT_TRUE(log.contains("INFO: Alert 10\n"));
    EXPECT_FALSE(log.contains("INFO: Alert 11\n"));
    EXPECT_EQ(log.count("INFO: 9990 more alert(s) of 10000 not logged."), 1) << log.text();
    EXPECT_LT(log.lines().size(), 100u);
    EXPECT_FALSE(log.contains("Max log file size reached."));
    const std::string file = testsupport::readFile(path);
    EXPECT_EQ(file.find("INFO: the start-up line"), 24u + 1u);
    EXPECT_LT(file.size(), 64u * 1024u);
}
