#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "HttpTestServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "services/FileService.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "weather/CurrentWeatherComInfoProviderImpl.h"
#include "weather/CurrentWeatherInfoModel.h"

using testsupport::HttpTestServer;
using testsupport::LogCapture;
using namespace vpcore;

namespace {

typedef CurrentWeatherInfoModel::ProviderLinks Links;

// The latest published value of every id, as text.
class LatestValues : public FloatPropertyChangeListener,
                     public IntPropertyChangeListener,
                     public StringPropertyChangeListener,
                     public IPropertyChangeListener<Links> {
public:
    LatestValues() {
        NotificationService& service = NotificationService::Instance();
        service.addPropertyChangeListener<float>(this, {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 14, 15});
        service.addPropertyChangeListener<int>(this, {8});
        service.addPropertyChangeListener<std::string>(this, {11, 12, 13, 16, 18, 20, 21});
        service.addPropertyChangeListener<Links>(this, {19});
    }

    void handlePropertyChange(short id, const float* const, const float* const value) override {
        std::ostringstream text;
        text << *value;
        values[id] = text.str();
    }
    void handlePropertyChange(short id, const int* const, const int* const value) override {
        values[id] = std::to_string(*value);
    }
    void handlePropertyChange(short id, const std::string* const,
                              const std::string* const value) override {
        values[id] = *value;
    }
    void handlePropertyChange(short, const Links* const, const Links* const value) override {
        links = *value;
        ++linkNotifications;
    }

    std::map<short, std::string> values;
    Links links;
    int linkNotifications = 0;
};

class CurrentWeatherComInfoProviderImplTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().reset();
        model = std::make_unique<CurrentWeatherInfoModel>();
        recorder = std::make_unique<LatestValues>();
        FileService::Instance().setInstallPath("/opt/ombrix");
        qputenv("OMBRIX_XOAP_HOST", server.host().c_str());
        route = "/weather/local/USTX0057?cc=*&prod=xoap&link=xoap&par=2739105846&key=" +
                std::string("5c81e07da3b94f26");
    }
    void TearDown() override {
        qunsetenv("OMBRIX_XOAP_HOST");
        FileService::Instance().setInstallPath("");
        recorder.reset();
        model.reset();
        NotificationService::Instance().reset();
    }

    bool update() {
        model->setProvider(std::make_unique<CurrentWeatherComInfoProviderImpl>("USTX0057"));
        return model->performTask();
    }

    HttpTestServer server;
    std::string route;
    std::unique_ptr<CurrentWeatherInfoModel> model;
    std::unique_ptr<LatestValues> recorder;
};

TEST_F(CurrentWeatherComInfoProviderImplTest, PublishesTheConvertedFeedWithLogoLinkAndLinks) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    server.addRoute(route, HttpTestServer::fixture("xoap/cc_austin.xml"));
    LogCapture log;

    ASSERT_TRUE(update());

    const std::map<short, std::string> expected = {
        {PROP_TEMP_F, "54"},
        {PROP_TEMP_C, "12.2"},
        {PROP_FEELS_LIKE_F, "52"},  // the feed's own value
        {PROP_FEELS_LIKE_C, "11.1"},
        {PROP_DEWPOINT_F, "41"},
        {PROP_DEWPOINT_C, "5"},
        {PROP_PRESSURE_MB, "1020"},
        {PROP_PRESSURE_IN, "30.12"},
        {PROP_RELATIVE_HUMIDITY, "62"},
        {PROP_WIND_MPH, "8"},
        {PROP_WIND_KMH, "12.9"},
        {PROP_WIND_DIR, "N"},
        {PROP_OBSERVATION_TIME, "12/10/26 11:53 AM CST"},
        {PROP_WEATHER, "Partly Cloudy"},
        {PROP_VISIBILITY_MI, "10"},
        {PROP_VISIBILITY_KM, "16.1"},
        {PROP_LOCATION, "Austin, TX (78701)"},
        {PROP_ICON_URL, "/opt/ombrix/resources/xoap_icons/07.png"},
        {PROP_PROVIDER_LOGO, "/opt/ombrix/resources/xoap_logo/TWClogo_61px.png"},
        {PROP_PROVIDER_LINK, "http://" + server.host() + "/"},
    };
    for (const auto& entry : expected) {
        SCOPED_TRACE("id " + std::to_string(entry.first));
        EXPECT_EQ(recorder->values[entry.first], entry.second);
    }
    const Links links = {{"Pollen Reports", "http://promo.test/pollen?par=xoap"},
                         {"Airport Delays", "http://promo.test/air?par=xoap"}};
    EXPECT_EQ(recorder->links, links);
    EXPECT_EQ(server.requestCount(route), 1);
    EXPECT_TRUE(
        log.contains("INFO: Begin current conditions update from " + server.url(route) + " ..."));
    EXPECT_TRUE(log.contains("INFO: Current conditions update complete."));
}

TEST_F(CurrentWeatherComInfoProviderImplTest, NanHugeOrMissingNumbersAreNoReadings) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    std::string feed =
        testsupport::readFile(std::string(OMBRIX_FIXTURE_DIR) + "/xoap/cc_austin.xml");
    const std::pair<const char*, const char*> replaced[] = {
        {"<tmp>54</tmp>", "<tmp>nan</tmp>"},
        {"<flik>52</flik>", "<flik>1e39</flik>"},
        {"<r>30.12</r>", "<r>-1e39</r>"},
        {"<s>8</s>", "<s>1e10</s>"},
        {"<hmid>62</hmid>", "<hmid>1e30</hmid>"},
        {"<vis>10.0</vis>", "<vis>N/A</vis>"},
        {"<dewp>41</dewp>", ""},
    };
    for (const auto& [from, to] : replaced) {
        feed.replace(feed.find(from), std::string(from).size(), to);
    }
    server.addRoute(route, HttpTestServer::ok(feed, "text/xml"));
    LogCapture log;

    ASSERT_TRUE(update());

    // Published as no reading (NaN, or no humidity), and nothing derived from them.
    for (short id : {PROP_TEMP_F, PROP_TEMP_C, PROP_FEELS_LIKE_F, PROP_FEELS_LIKE_C,
                     PROP_DEWPOINT_F, PROP_DEWPOINT_C, PROP_PRESSURE_MB, PROP_PRESSURE_IN,
                     PROP_WIND_MPH, PROP_WIND_KMH, PROP_VISIBILITY_MI, PROP_VISIBILITY_KM}) {
        SCOPED_TRACE("id " + std::to_string(id));
        EXPECT_EQ(recorder->values[id], "nan");
    }
    EXPECT_EQ(recorder->values[PROP_RELATIVE_HUMIDITY],
              std::to_string(CurrentWeatherInfoModel::NO_HUMIDITY));
    EXPECT_EQ(recorder->values[PROP_LOCATION], "Austin, TX (78701)");
    for (const char* warning : {"WARN: tmp is not a number: \"nan\"; read as absent.",
                                "WARN: flik 1e39 is outside the range -100 to 150; read as absent.",
                                "WARN: r -1e39 is outside the range 25 to 35; read as absent.",
                                "WARN: s 1e10 is outside the range 0 to 300; read as absent.",
                                "WARN: hmid 1e30 is outside the range 0 to 100; read as absent.",
                                "WARN: vis is not a number: \"N/A\"; read as absent."}) {
        EXPECT_TRUE(log.contains(warning)) << warning << "\n" << log.text();
    }
    EXPECT_EQ(log.count("WARN"), 6) << log.text();
}

TEST_F(CurrentWeatherComInfoProviderImplTest, AnUnchangedObservationStopsBeforeNameIconAndLinks) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    server.addRoute(route, HttpTestServer::fixture("xoap/cc_austin.xml"));
    ASSERT_TRUE(update());
    recorder->values.clear();
    recorder->linkNotifications = 0;
    LogCapture log;

    EXPECT_FALSE(update());

    EXPECT_TRUE(log.contains("INFO: Current conditions is old. Not going to make the update."));
    EXPECT_FALSE(log.contains("Current conditions update complete."));
    EXPECT_TRUE(recorder->values.empty());
    EXPECT_EQ(recorder->linkNotifications, 0);
    EXPECT_EQ(server.requestCount(route), 2);
}

TEST_F(CurrentWeatherComInfoProviderImplTest, TwoDigitIconsStayAndMissingLinksEmptyTheList) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    server.addRoute(route, HttpTestServer::fixture("xoap/cc_austin.xml"));
    ASSERT_TRUE(update());
    server.addRoute(route, HttpTestServer::fixture("xoap/cc_no_links.xml"));

    ASSERT_TRUE(update());

    EXPECT_EQ(recorder->values[PROP_ICON_URL], "/opt/ombrix/resources/xoap_icons/32.png");
    EXPECT_EQ(recorder->values[PROP_WEATHER], "Unknown");  // no <t> under <cc>
    EXPECT_EQ(recorder->values[PROP_WIND_DIR], "Calm");
    EXPECT_TRUE(recorder->links.empty());
    EXPECT_EQ(recorder->linkNotifications, 2);  // filled, then emptied
}

TEST_F(CurrentWeatherComInfoProviderImplTest, ADocumentWithoutConditionsIsRefused) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    server.addRoute(route, HttpTestServer::fixture("xoap/cc_no_cc.xml"));
    LogCapture log;

    EXPECT_FALSE(update());

    EXPECT_TRUE(log.contains("ERROR: Node validation error: cc does not exist."));
    EXPECT_TRUE(recorder->values.empty());
}

}  // namespace
