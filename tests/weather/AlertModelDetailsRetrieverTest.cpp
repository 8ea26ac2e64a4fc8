#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AlertTestSupport.h"
#include "ExceptionText.h"
#include "HttpTestServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "WaitUntil.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/StatusService.h"
#include "services/TaskScheduler.h"
#include "weather/AlertModelDetailsRetriever.h"

using alerttest::EventRecorder;
using testsupport::HttpTestServer;
using testsupport::LogCapture;
using vpcore::Alert_t;
using vpcore::AlertDescription_t;
using vpcore::AlertModelDetailsRetriever;
using vpcore::NotificationService;
using vpcore::PROP_ALERT_DETAILS;
using vpcore::StatusMessage_t;
using vpcore::StatusService;

using testsupport::waitUntil;

namespace {

std::string fixtureText(const std::string& name) {
    return testsupport::readFile(std::string(OMBRIX_FIXTURE_DIR) + "/alerts/" + name);
}

// The alert details panel registers the details event; here the test does.
class AlertModelDetailsRetrieverTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        NotificationService::Instance().registerPropertyIds({PROP_ALERT_DETAILS});
        details = std::make_unique<EventRecorder>(std::set<short>{PROP_ALERT_DETAILS});
        StatusService::Instance().registerUpdateHandler(
            StatusService::UpdateHandler(this, &AlertModelDetailsRetrieverTest::onStatus));
    }
    void TearDown() override {
        StatusService::Instance().registerUpdateHandler(StatusService::UpdateHandler());
        details.reset();
        NotificationService::Instance().reset();
    }
    void onStatus(const StatusMessage_t& message) { statusMessages.push_back(message.message); }

    std::shared_ptr<Alert_t> alertAt(const std::string& pathAndQuery) const {
        auto alert = std::make_shared<Alert_t>(server.url(pathAndQuery));
        alert->published = "2026-12-10T09:00:00-06:00";
        return alert;
    }

    HttpTestServer server;
    std::unique_ptr<EventRecorder> details;
    std::vector<std::string> statusMessages;
};

}  // namespace

TEST_F(AlertModelDetailsRetrieverTest, AttachesEventDescriptionAndInstructionOfTheCapDocument) {
    const std::string prefixed =
        "<?xml version='1.0'?>\n"
        "<cap:alert xmlns:cap='urn:oasis:names:tc:emergency:cap:1.2'>\n"
        "<cap:info><cap:event>Dense Fog Advisory</cap:event>\n"
        "<cap:description>Visibility one quarter mile or less.</cap:description>\n"
        "<cap:instruction>Slow down.</cap:instruction></cap:info>\n"
        "</cap:alert>\n";
    struct Case {
        std::string name;
        std::string body;
        std::string event;
        std::string description;
        std::string instruction;
    } const cases[] = {
        {"CAP 1.1, re-indented and hard-wrapped", fixtureText("cap11_flood_warning.xml"),
         "Flood Warning",
         "...The Flood Warning continues for the following river in Texas...\n"
         "Colorado River At Austin affecting Travis County\n"
         "* until further notice.\n"
         "* At  8:00 PM Wednesday the stage was 9.5 feet.\n"
         "* Flood stage is 8.0 feet & rising.\n"
         "Fld     Observed                 Forecast 7 AM\n"
         "Location     Stg   Stg  Day Time    Thu    Fri\n"
         "Austin       8   9.5 Wed 08 PM    9.6    9.8\n"
         "&&",
         "Do not drive cars through flooded areas.\nTurn around, don't drown."},
        {"CAP 1.2 with an empty instruction and a second language",
         fixtureText("cap12_wind_chill.xml"), "Wind Chill Advisory",
         "* WHAT...Very cold wind chills expected. The cold wind chills\n"
         "will cause frostbite in as little as 10 minutes to exposed\n"
         "skin.\n"
         "\n"
         "* WHERE...Southern Seward Peninsula Coast.",
         ""},
        {"names with a namespace prefix", prefixed, "Dense Fog Advisory",
         "Visibility one quarter mile or less.", "Slow down."},
        {"no instruction element",
         "<alert xmlns='urn:oasis:names:tc:emergency:cap:1.2'><info><event>Heat Advisory</event>"
         "<description>Hot.</description></info></alert>",
         "Heat Advisory", "Hot.", ""},
        {"no info", fixtureText("cap_no_info.xml"), "", "", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = "/cap/wwacapget.php?x=case" + std::to_string(++n);
        server.addRoute(path, HttpTestServer::ok(c.body));
        const auto alert = alertAt(path);
        AlertModelDetailsRetriever retriever(alert);
        LogCapture log;

        EXPECT_TRUE(retriever.performTask());

        ASSERT_NE(alert->description, nullptr);
        EXPECT_EQ(alert->description->event, c.event);
        EXPECT_EQ(alert->description->description, c.description);
        EXPECT_EQ(alert->description->instruction, c.instruction);
        EXPECT_EQ(details->take(), std::vector<short>{PROP_ALERT_DETAILS});
        EXPECT_EQ(log.count("INFO: Retrieving weather alert details from " + server.url(path)), 1)
            << log.text();
        EXPECT_EQ(server.requestCount(path), 1);
    }
    EXPECT_TRUE(statusMessages.empty());
}

TEST_F(AlertModelDetailsRetrieverTest, FailureLeavesNoDetailsAndStillAnnouncesTheEnd) {
    server.addRoute("/cap/missing", HttpTestServer::status(404, "not found"));
    server.addRoute("/cap/garbled", HttpTestServer::ok("<alert><info>", "text/xml"));
    struct Case {
        std::string address;
        std::string errorLine;
    } const cases[] = {
        {server.url("/cap/missing"), "ERROR: Error retrieving document: "},
        {server.url("/cap/garbled"), "ERROR: Error parsing document: "},
        // Addresses from the feed that are no web addresses are never opened.
        {"file:///etc/hostname",
         "ERROR: Error retrieving document: not a web address: "
         "\"file:///etc/hostname\""},
        {"qrc:/images/plate.png", "ERROR: Error retrieving document: not a web address: "},
        {"", "ERROR: Error retrieving document: not a web address: \"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        statusMessages.clear();
        const auto alert = std::make_shared<Alert_t>(c.address);
        alert->description = std::make_unique<AlertDescription_t>("old", "old", "old");
        AlertModelDetailsRetriever retriever(alert);
        LogCapture log;

        EXPECT_FALSE(retriever.performTask());

        EXPECT_EQ(alert->description, nullptr) << "earlier details are dropped";
        EXPECT_EQ(details->take(), std::vector<short>{PROP_ALERT_DETAILS});
        EXPECT_EQ(log.count(c.errorLine), 1) << log.text();
        EXPECT_EQ(statusMessages, std::vector<std::string>{"Could not update current weather. "});
    }
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(AlertModelDetailsRetrieverTest, RunsOnceOnTheSchedulerWhichThenFreesIt) {
    server.addRoute("/cap/sched", HttpTestServer::ok(fixtureText("cap12_wind_chill.xml")));
    const auto alert = alertAt("/cap/sched");
    auto* retriever = new AlertModelDetailsRetriever(alert);
    EXPECT_EQ(retriever->getTaskName(), "Retrieve Alert Details");
    EXPECT_TRUE(retriever->contributesToProgressBar());
    EXPECT_EQ(retriever->getDescription(), "Retrieving weather alert details.");

    vpcore::TaskScheduler& scheduler = vpcore::TaskScheduler::instance();
    LogCapture log;
    scheduler.queueTask(retriever);
    scheduler.startScheduler();
    // The scheduler frees the task after its run, and with it the task's share of the alert.
    const bool freed = waitUntil([&] { return alert.use_count() == 1; });
    scheduler.shutdown();

    ASSERT_TRUE(freed) << log.text();
    EXPECT_EQ(details->count(PROP_ALERT_DETAILS), 1);
    ASSERT_NE(alert->description, nullptr);
    EXPECT_EQ(alert->description->event, "Wind Chill Advisory");
    EXPECT_EQ(log.count("task <Retrieve Alert Details> completed successfully"), 1) << log.text();
}

TEST(AlertModelDetailsRetrieverConstructionTest, NeedsAnAlert) {
    EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(
                  [] { AlertModelDetailsRetriever retriever(nullptr); }),
              "AlertModelDetailsRetriever needs an alert");
}

// Runs the real scheduler threads without a fetch, so that it also runs under ThreadSanitizer:
// the runner clears the details and announces the end while the test thread waits.
TEST(AlertModelDetailsRetrieverSchedulerTest, FailedRunOnTheRunnerThreadAnnouncesItsEndOnce) {
    NotificationService::Instance().registerPropertyIds({PROP_ALERT_DETAILS});
    {
        EventRecorder details(std::set<short>{PROP_ALERT_DETAILS});
        const auto alert = std::make_shared<Alert_t>("file:///etc/hostname");
        alert->description = std::make_unique<AlertDescription_t>("old", "old", "old");
        vpcore::TaskScheduler& scheduler = vpcore::TaskScheduler::instance();
        LogCapture log;
        scheduler.queueTask(new AlertModelDetailsRetriever(alert));
        scheduler.startScheduler();
        const bool freed = waitUntil([&] { return alert.use_count() == 1; });
        scheduler.shutdown();

        ASSERT_TRUE(freed) << log.text();
        EXPECT_EQ(details.count(PROP_ALERT_DETAILS), 1);
        EXPECT_EQ(alert->description, nullptr);
        EXPECT_EQ(log.count("task <Retrieve Alert Details> completed and failed"), 1) << log.text();
    }
    NotificationService::Instance().reset();
}
