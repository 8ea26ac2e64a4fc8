#include <gtest/gtest.h>

#include <QByteArray>
#include <QDomDocument>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HttpTestServer.h"
#include "LogCapture.h"
#include "NWSCodeServiceTestAccess.h"
#include "TempDir.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/StatusService.h"
#include "weather/CurrentNWSWeatherInfoProviderImpl.h"
#include "weather/CurrentWeatherInfoModel.h"
#include "weather/Location_t.h"
#include "weather/NWSCurrentWeatherInfoProviderRetryHandler.h"

using testsupport::HttpTestServer;
using testsupport::LogCapture;
using namespace vpcore;

namespace {

typedef CurrentNWSWeatherInfoProviderImpl::PropertyMap PropertyMap;

const std::string kCodes = std::string(OMBRIX_FIXTURE_DIR) + "/obs/codes";

std::string fixtureText(const std::string& name) {
    return testsupport::readFile(std::string(OMBRIX_FIXTURE_DIR) + "/obs/" + name);
}

std::unique_ptr<QDomDocument> parse(const std::string& bytes) {
    auto document = std::make_unique<QDomDocument>();
    EXPECT_TRUE(document->setContent(QByteArray::fromStdString(bytes)));
    return document;
}

// A small observation of its own for each station, so the accepted one can be told apart.
std::string observation(const std::string& location, const std::string& time,
                        const std::string& tempF = "70.0", const std::string& extra = "") {
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<current_observation>\n"
           "\t<location>" +
           location + "</location>\r\n\t<observation_time>" + time +
           "</observation_time>\n\t<temp_f>" + tempF +
           "</temp_f>\n\t<temp_c>21.1</temp_c>\n\t<relative_humidity>40</relative_humidity>\n"
           "\t<dewpoint_f>45.0</dewpoint_f>\n\t<dewpoint_c>7.2</dewpoint_c>\n"
           "\t<pressure_in>30.01</pressure_in>\n" +
           extra + "</current_observation>\n";
}

std::string obsPath(const std::string& station) {
    return "/xml/current_obs/" + station + ".xml";
}

}  // namespace

// --- reading a document ------------------------------------------------------------------

TEST(CurrentNWSObservationReadTest, RealShapesGiveTheFullPropertyMap) {
    struct Case {
        const char* fixture;
        PropertyMap expected;
        int warnings;
    };
    const std::vector<Case> cases = {
        {"calm_night_crlf.xml",  // Latin-1 name, mixed line ends, calm wind, air temperature
         {{PROP_TEMP_F, "74.0"},
          {PROP_TEMP_C, "23.3"},
          {PROP_FEELS_LIKE_F, "74.0"},
          {PROP_FEELS_LIKE_C, "23.3"},
          {PROP_DEWPOINT_F, "69.1"},
          {PROP_DEWPOINT_C, "20.6"},
          {PROP_PRESSURE_MB, "1016"},
          {PROP_PRESSURE_IN, "30.00"},
          {PROP_RELATIVE_HUMIDITY, "85"},
          {PROP_WIND_MPH, "0.0"},
          {PROP_WIND_KMH, "0.0"},
          {PROP_WIND_DIR, "Calm"},
          {PROP_OBSERVATION_TIME, "Last Updated on Aug 12 2013, 8:52 pm MDT"},
          {PROP_WEATHER, "Fair"},
          {PROP_VISIBILITY_MI, "10.00"},
          {PROP_VISIBILITY_KM, "16.1"},
          {PROP_LOCATION, "Ca\u00f1on City Fremont County Airport, CO"},
          {PROP_ICON_URL, "http://forecast.weather.gov/images/wtf/small/nskc.png"},
          {PROP_PROVIDER_LOGO, ""},
          {PROP_PROVIDER_LINK, ""}},
         0},
        {"cold_old_format.xml",  // integer temperatures, wind chill, "NA" beside numbers
         {{PROP_TEMP_F, "24"},
          {PROP_TEMP_C, "-4"},
          {PROP_FEELS_LIKE_F, "19.6"},
          {PROP_FEELS_LIKE_C, "-6.9"},
          {PROP_DEWPOINT_F, "9"},
          {PROP_DEWPOINT_C, "-13"},
          {PROP_PRESSURE_MB, "1040"},
          {PROP_PRESSURE_IN, "30.70"},
          {PROP_RELATIVE_HUMIDITY, "52"},
          {PROP_WIND_MPH, "3.45"},
          {PROP_WIND_KMH, "5.6"},
          {PROP_WIND_DIR, "NW"},
          {PROP_OBSERVATION_TIME, "Last Updated on Dec 23, 10:54 am EST"},
          {PROP_WEATHER, "Fair"},
          {PROP_VISIBILITY_MI, "10.00"},
          {PROP_VISIBILITY_KM, "16.1"},
          {PROP_LOCATION, "Mount Holly, South Jersey Regional Airport, NJ"},
          {PROP_ICON_URL, "http://weather.gov/weather/images/fcicons/skc.jpg"},
          {PROP_PROVIDER_LOGO, ""},
          {PROP_PROVIDER_LINK, ""}},
         0},
        {"hot_variable_wind.xml",  // heat index, variable wind, visibility "NA"
         {{PROP_TEMP_F, "95.0"},
          {PROP_TEMP_C, "35.0"},
          {PROP_FEELS_LIKE_F, "105.2"},
          {PROP_FEELS_LIKE_C, "40.7"},
          {PROP_DEWPOINT_F, "73.0"},
          {PROP_DEWPOINT_C, "22.8"},
          {PROP_PRESSURE_MB, "1013"},
          {PROP_PRESSURE_IN, "29.92"},
          {PROP_RELATIVE_HUMIDITY, "50"},
          {PROP_WIND_MPH, "5.0"},
          {PROP_WIND_KMH, "8.0"},
          {PROP_WIND_DIR, "Var"},
          {PROP_OBSERVATION_TIME, "Last Updated on Jun 24 2012, 3:53 pm EDT"},
          {PROP_WEATHER, "Mostly Cloudy"},
          {PROP_VISIBILITY_MI, ""},
          {PROP_VISIBILITY_KM, ""},  // no reading in miles, none in kilometres
          {PROP_LOCATION, "Tampa International Airport, FL"},
          {PROP_ICON_URL, "http://forecast.weather.gov/images/wtf/small/bkn.png"},
          {PROP_PROVIDER_LOGO, ""},
          {PROP_PROVIDER_LINK, ""}},
         1},
        {"sparse.xml",  // no weather, wind or visibility; an icon base without a name
         {{PROP_TEMP_F, "60.0"},
          {PROP_TEMP_C, "15.6"},
          {PROP_FEELS_LIKE_F, "60.0"},
          {PROP_FEELS_LIKE_C, "15.6"},
          {PROP_DEWPOINT_F, "35.6"},
          {PROP_DEWPOINT_C, "2.0"},
          {PROP_PRESSURE_MB, "1020"},
          {PROP_PRESSURE_IN, "30.12"},
          {PROP_RELATIVE_HUMIDITY, "40"},
          {PROP_WIND_MPH, ""},
          {PROP_WIND_KMH, ""},
          {PROP_WIND_DIR, ""},
          {PROP_OBSERVATION_TIME, "Last Updated on Mar 3 2017, 6:53 am CST"},
          {PROP_WEATHER, "Unknown"},
          {PROP_VISIBILITY_MI, ""},
          {PROP_VISIBILITY_KM, ""},
          {PROP_LOCATION, "Ardmore Municipal Airport, OK"},
          {PROP_ICON_URL, ""},
          {PROP_PROVIDER_LOGO, ""},
          {PROP_PROVIDER_LINK, ""}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::unique_ptr<QDomDocument> document = parse(fixtureText(c.fixture));
        PropertyMap values;
        std::string refusal;
        LogCapture log;

        EXPECT_TRUE(CurrentNWSWeatherInfoProviderImpl::readObservation(*document, values, refusal))
            << refusal;

        EXPECT_EQ(values, c.expected);
        EXPECT_EQ(log.count("WARN"), c.warnings) << log.text();
        EXPECT_EQ(log.count("ERROR"), 0) << log.text();
    }
}

TEST(CurrentNWSObservationReadTest, RequiredValueThatIsNoNumberRefusesTheDocument) {
    struct Case {
        const char* name;
        std::string document;
        std::string refusal;
    };
    const std::string na = "Document unsupported.\n";
    const std::vector<Case> cases = {
        {"temperature NA", observation("A, OK", "t", "NA"), na + "temp_f is not a number: \"NA\""},
        {"empty temperature", observation("A, OK", "t", ""), na + "temp_f is not a number: \"\""},
        {"infinite temperature", observation("A, OK", "t", "inf"),
         na + "temp_f is not a number: \"inf\""},
        {"humidity NA",
         "<current_observation><temp_f>1</temp_f><temp_c>1</temp_c><dewpoint_f>1</dewpoint_f>"
         "<dewpoint_c>1</dewpoint_c><relative_humidity>NA</relative_humidity>"
         "<pressure_in>30</pressure_in></current_observation>",
         na + "relative_humidity is not a number: \"NA\""},
        {"dew point missing", fixtureText("no_humidity.xml"),
         na + "dewpoint_f is not a number: \"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<QDomDocument> document = parse(c.document);
        PropertyMap values;
        std::string refusal;

        EXPECT_FALSE(
            CurrentNWSWeatherInfoProviderImpl::readObservation(*document, values, refusal));

        EXPECT_EQ(refusal, c.refusal);
    }
}

// The feed comes over plain http: its icon address is kept only when it is a web address.
TEST(CurrentNWSObservationReadTest, TheIconIsKeptOnlyAtAWebAddress) {
    const struct {
        const char* base;
        const char* name;
        const char* kept;  // "" when refused (one WARN)
    } cases[] = {
        {"http://w1.weather.gov/images/fcicons/", "skc.jpg",
         "http://w1.weather.gov/images/fcicons/skc.jpg"},
        {"https://w1.weather.gov/images/", "ovc.png", "https://w1.weather.gov/images/ovc.png"},
        {"file:///home/user/Pictures/", "me.png", ""},
        {"file:///etc/", "passwd", ""},
        {"/etc/", "passwd", ""},
        {"ftp://w1.weather.gov/", "skc.jpg", ""},
        {"qrc:/images/", "plate.png", ""},
        {"http:///", "skc.jpg", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.base) + c.name);
        const std::unique_ptr<QDomDocument> document =
            parse(observation("A, OK", "t", "40.0",
                              std::string("<icon_url_base>") + c.base +
                                  "</icon_url_base><icon_url_name>" + c.name + "</icon_url_name>"));
        PropertyMap values;
        std::string refusal;
        LogCapture log;

        ASSERT_TRUE(CurrentNWSWeatherInfoProviderImpl::readObservation(*document, values, refusal))
            << refusal;

        EXPECT_EQ(values[PROP_ICON_URL], c.kept);
        const bool refused = std::string(c.kept).empty();
        EXPECT_EQ(log.count(std::string("WARN: The condition icon \"") + c.base + c.name +
                            "\" is not a web address; it is not fetched."),
                  refused ? 1 : 0)
            << log.text();
    }
}

TEST(CurrentNWSObservationReadTest, OptionalValuesWithoutAReadingReadAsAbsent) {
    struct Case {
        const char* name;
        std::string extra;
        PropertyMap expected;  // the entries checked
        int warnings;
    };
    const std::vector<Case> cases = {
        {"empty weather stays empty", "<weather></weather>", {{PROP_WEATHER, ""}}, 0},
        {"wind NA: no speed, and no wind chill from a wind of 0",
         "<wind_dir>North</wind_dir><wind_mph>NA</wind_mph>",
         {{PROP_WIND_MPH, ""},
          {PROP_WIND_KMH, ""},
          {PROP_WIND_DIR, "N"},
          {PROP_FEELS_LIKE_F, ""},
          {PROP_FEELS_LIKE_C, ""}},
         1},
        {"values with blanks around them",
         "<wind_dir> Southeast </wind_dir><wind_mph>\n 12.7 </wind_mph><weather> Fog </weather>",
         {{PROP_WIND_MPH, "12.7"},
          {PROP_WIND_KMH, "20.4"},
          {PROP_WIND_DIR, "SE"},
          {PROP_WEATHER, "Fog"}},
         0},
        {"element deeper than the root's children is absent",
         "<image><weather>Fair</weather><wind_mph>9.0</wind_mph></image>",
         {{PROP_WEATHER, "Unknown"}, {PROP_WIND_MPH, ""}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<QDomDocument> document =
            parse(observation("A, OK", "t", "40.0", c.extra));
        PropertyMap values;
        std::string refusal;
        LogCapture log;

        ASSERT_TRUE(CurrentNWSWeatherInfoProviderImpl::readObservation(*document, values, refusal))
            << refusal;

        for (const auto& entry : c.expected) {
            EXPECT_EQ(values[entry.first], entry.second) << "property " << entry.first;
        }
        EXPECT_EQ(log.count("WARN"), c.warnings) << log.text();
    }
}

// --- the observation address ------------------------------------------------------------

namespace {

// Reads the address a provider would fetch, without fetching it.
class ObservationUrl : public CurrentNWSWeatherInfoProviderImpl {
public:
    using CurrentNWSWeatherInfoProviderImpl::CurrentNWSWeatherInfoProviderImpl;
    std::string url() const { return buildUrl(); }
};

}  // namespace

TEST(CurrentNWSObservationUrlTest, TheForecastHostOverHttpsUnlessTheVariableNamesAnother) {
    const struct {
        const char* variable;  // nullptr: not set
        const char* url;
    } cases[] = {
        {nullptr, "https://forecast.weather.gov/xml/current_obs/KATT.xml"},
        {"  ", "https://forecast.weather.gov/xml/current_obs/KATT.xml"},
        {"127.0.0.1:8099", "http://127.0.0.1:8099/xml/current_obs/KATT.xml"},
        {"https://obs.example.test", "https://obs.example.test/xml/current_obs/KATT.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable != nullptr ? c.variable : "(unset)");
        if (c.variable != nullptr) {
            qputenv("OMBRIX_NWS_HOST", c.variable);
        } else {
            qunsetenv("OMBRIX_NWS_HOST");
        }
        EXPECT_EQ(ObservationUrl("KATT").url(), c.url);
    }
    qunsetenv("OMBRIX_NWS_HOST");
}

TEST(CurrentNWSObservationReadTest, AReadingOutsideItsRangeIsNoReadingAndNothingComesOfIt) {
    struct Case {
        const char* name;
        std::string tempF;
        std::string extra;
        PropertyMap expected;  // the entries checked
        const char* warning;   // the one WARN line
    };
    const std::vector<Case> cases = {
        {"temperature 1e30: no reading, no feels-like",
         "1e30",
         "",
         {{PROP_TEMP_F, ""},
          {PROP_TEMP_C, "21.1"},
          {PROP_FEELS_LIKE_F, ""},
          {PROP_FEELS_LIKE_C, ""}},
         "WARN: temp_f 1e30 is outside the range -100 to 150; read as absent."},
        {"temperature 1e10", "1e10", "", {{PROP_TEMP_F, ""}}, "temp_f 1e10 is outside"},
        {"temperature just below the range", "-100.1", "", {{PROP_TEMP_F, ""}}, "temp_f -100.1"},
        {"pressure -1e39 (-inf as a float): no millibars",
         "70.0",
         "<pressure_in>-1e39</pressure_in>",
         {{PROP_PRESSURE_IN, ""}, {PROP_PRESSURE_MB, ""}},
         "WARN: pressure_in -1e39 is outside the range 25 to 35; read as absent."},
        {"wind 1e10: no speed in either unit, no wind chill",
         "40.0",
         "<wind_mph>1e10</wind_mph>",
         {{PROP_WIND_MPH, ""}, {PROP_WIND_KMH, ""}, {PROP_FEELS_LIKE_F, ""}},
         "WARN: wind_mph 1e10 is outside the range 0 to 300; read as absent."},
        {"negative wind", "70.0", "<wind_mph>-3</wind_mph>", {{PROP_WIND_MPH, ""}}, "wind_mph -3"},
        {"visibility -5",
         "70.0",
         "<visibility_mi>-5</visibility_mi>",
         {{PROP_VISIBILITY_MI, ""}, {PROP_VISIBILITY_KM, ""}},
         "WARN: visibility_mi -5 is outside the range 0 to 100; read as absent."},
        {"visibility NA",
         "70.0",
         "<visibility_mi>NA</visibility_mi>",
         {{PROP_VISIBILITY_MI, ""}, {PROP_VISIBILITY_KM, ""}},
         "WARN: visibility_mi is not a number: \"NA\"; read as absent."},
        {"humidity 1e30 in the heat: no heat index",
         "95.0",
         "<relative_humidity>1e30</relative_humidity>",
         {{PROP_RELATIVE_HUMIDITY, ""}, {PROP_FEELS_LIKE_F, ""}, {PROP_TEMP_F, "95.0"}},
         "WARN: relative_humidity 1e30 is outside the range 0 to 100; read as absent."},
        {"humidity absurd in the mild: feels like the air",
         "70.0",
         "<relative_humidity>101</relative_humidity>",
         {{PROP_RELATIVE_HUMIDITY, ""}, {PROP_FEELS_LIKE_F, "70.0"}},
         "relative_humidity 101"},
        {"dew point -1e39",
         "70.0",
         "<dewpoint_f>-1e39</dewpoint_f><dewpoint_c>1e30</dewpoint_c>",
         {{PROP_DEWPOINT_F, ""}, {PROP_DEWPOINT_C, ""}},
         "dewpoint_f -1e39"},
        {"the edges of the ranges are readings",
         "150",
         "<wind_mph>0</wind_mph><visibility_mi>100</visibility_mi>",
         {{PROP_TEMP_F, "150"}, {PROP_WIND_KMH, "0.0"}, {PROP_VISIBILITY_KM, "160.9"}},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The element given in extra comes first, so that it is the one read.
        std::string document = observation("A, OK", "t", c.tempF);
        document.insert(document.find("<current_observation>") + 21, c.extra);
        PropertyMap values;
        std::string refusal;
        LogCapture log;

        ASSERT_TRUE(
            CurrentNWSWeatherInfoProviderImpl::readObservation(*parse(document), values, refusal))
            << refusal;

        for (const auto& entry : c.expected) {
            EXPECT_EQ(values[entry.first], entry.second) << "property " << entry.first;
        }
        const int expectedWarnings =
            c.warning == nullptr ? 0 : (std::string(c.name).rfind("dew point", 0) == 0 ? 2 : 1);
        EXPECT_EQ(log.count("WARN"), expectedWarnings) << log.text();
        if (c.warning != nullptr) {
            EXPECT_TRUE(log.contains(c.warning)) << log.text();
        }
    }
}

// --- updates against the loopback server ----------------------------------------------------

namespace {

class CurrentNWSWeatherInfoProviderImplTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        qputenv("OMBRIX_NWS_HOST", server.host().c_str());
        StatusService::Instance().registerUpdateHandler(
            StatusService::UpdateHandler(this, &CurrentNWSWeatherInfoProviderImplTest::onStatus));
        model = std::make_unique<CurrentWeatherInfoModel>();
        location.stationId = "KOWN";
        location.position = std::make_shared<std::pair<float, float>>(35.0f, -97.0f);
    }
    void TearDown() override {
        StatusService::Instance().registerUpdateHandler(StatusService::UpdateHandler());
        qunsetenv("OMBRIX_NWS_HOST");
        model.reset();
        NotificationService::Instance().reset();
    }
    void onStatus(const StatusMessage_t& message) { statusMessages.push_back(message.message); }

    // Installs a provider for the location's station, with a retry handler on the fixture
    // stations unless withHandler is false, and returns it (the model owns it).
    CurrentNWSWeatherInfoProviderImpl* install(bool withHandler = true) {
        std::unique_ptr<NWSCurrentWeatherInfoProviderRetryHandler> handler;
        if (withHandler) {
            handler = std::make_unique<NWSCurrentWeatherInfoProviderRetryHandler>(&location, 20.0f,
                                                                                  *codes);
        }
        auto provider = std::make_unique<CurrentNWSWeatherInfoProviderImpl>(location.stationId,
                                                                            std::move(handler));
        CurrentNWSWeatherInfoProviderImpl* const raw = provider.get();
        model->setProvider(std::move(provider));
        return raw;
    }

    // The stations requested, in order.
    std::vector<std::string> requested() const {
        std::vector<std::string> stations;
        for (const HttpTestServer::Request& request : server.requests()) {
            stations.push_back(request.path);
        }
        return stations;
    }

    HttpTestServer server;
    NWSCodeServiceTestAccess::Ptr codes = NWSCodeServiceTestAccess::create(kCodes);
    Location_t location;
    std::unique_ptr<CurrentWeatherInfoModel> model;
    std::vector<std::string> statusMessages;
};

// The index of the first log line holding fragment, or -1.
int lineOf(const std::vector<std::string>& lines, const std::string& fragment) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(fragment) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

TEST_F(CurrentNWSWeatherInfoProviderImplTest, OwnStationGoodIsPublishedWithoutRetries) {
    server.addRoute(obsPath("KOWN"), HttpTestServer::fixture("obs/calm_night_crlf.xml"));
    server.addRoute(obsPath("KAAA"), HttpTestServer::ok(observation("First, OK", "t1")));
    CurrentNWSWeatherInfoProviderImpl* const provider = install();
    LogCapture log;

    EXPECT_TRUE(model->performTask());

    EXPECT_EQ(requested(), std::vector<std::string>{obsPath("KOWN")});
    EXPECT_EQ(provider->getUrl(), server.url(obsPath("KOWN")));
    EXPECT_EQ(model->getLocation(), "Ca\u00f1on City Fremont County Airport, CO");
    EXPECT_EQ(model->getObservationTime(), "Last Updated on Aug 12 2013, 8:52 pm MDT");
    EXPECT_TRUE(statusMessages.empty());
    EXPECT_TRUE(log.contains("INFO: Begin current conditions update from " +
                             server.url(obsPath("KOWN")) + " ...\n"))
        << log.text();
    EXPECT_TRUE(log.contains("INFO: Current conditions update complete.\n"));
    EXPECT_EQ(log.count("Attempting"), 0);
    // The station table was never needed.
    EXPECT_TRUE(codes->getStationIds().empty());
}

TEST_F(CurrentNWSWeatherInfoProviderImplTest, OldOwnStationTriesAlternatesInDistanceOrder) {
    server.addRoute(obsPath("KOWN"), HttpTestServer::ok(observation("Own, OK", "10:53")));
    server.addRoute(obsPath("KAAA"), HttpTestServer::status(404, "<html>Not Found</html>"));
    server.addRoute(obsPath("KBBB"),
                    HttpTestServer::ok("<html><body><p>Moved<br></body></html>", "text/html"));
    server.addRoute(obsPath("KCCC"), HttpTestServer::ok(observation("Third, OK", "10:52", "71.0")));
    server.addRoute(obsPath("KDDD"), HttpTestServer::ok(observation("Fourth, OK", "10:51")));
    CurrentNWSWeatherInfoProviderImpl* const provider = install();
    ASSERT_TRUE(model->performTask());
    ASSERT_EQ(model->getLocation(), "Own, OK");
    LogCapture log;

    // The own station still has the same observation an hour later.
    EXPECT_TRUE(model->performTask());

    const std::vector<std::string> expected = {obsPath("KOWN"), obsPath("KOWN"), obsPath("KAAA"),
                                               obsPath("KBBB"), obsPath("KCCC")};
    EXPECT_EQ(requested(), expected);
    EXPECT_EQ(model->getLocation(), "Third, OK");
    EXPECT_EQ(model->getObservationTime(), "10:52");
    EXPECT_EQ(provider->getStationId(), "KOWN");
    EXPECT_EQ(provider->getUrl(), server.url(obsPath("KCCC")));

    // Each failed alternate is reported, to the log and the status bar, before the next one.
    const std::vector<std::string> lines = log.lines();
    const int old = lineOf(lines, "INFO: Current conditions is old. Not going to make the update.");
    const int tryA = lineOf(lines, "Attempting current conditions update from alternate location " +
                                       server.url(obsPath("KAAA")));
    const int errorA = lineOf(lines, "ERROR: Error retrieving document: ");
    const int tryB = lineOf(lines, "Attempting current conditions update from alternate location " +
                                       server.url(obsPath("KBBB")));
    const int errorB = lineOf(lines, "ERROR: Error parsing document: ");
    const int tryC = lineOf(lines, "Attempting current conditions update from alternate location " +
                                       server.url(obsPath("KCCC")));
    const int done = lineOf(lines, "INFO: Current conditions update complete.");
    EXPECT_TRUE(old >= 0 && old < tryA && tryA < errorA && errorA < tryB && tryB < errorB &&
                errorB < tryC && tryC < done)
        << log.text();
    EXPECT_EQ(statusMessages, std::vector<std::string>(2, "Could not update current weather. "));

    // The next run starts from the own station, which has a new observation now.
    server.addRoute(obsPath("KOWN"), HttpTestServer::ok(observation("Own, OK", "11:53")));
    EXPECT_TRUE(model->performTask());
    EXPECT_EQ(requested().back(), obsPath("KOWN"));
    EXPECT_EQ(requested().size(), expected.size() + 1);
    EXPECT_EQ(model->getLocation(), "Own, OK");
}

TEST_F(CurrentNWSWeatherInfoProviderImplTest, AtMostFourAlternatesWithinTwentyMilesAreTried) {
    // The own station has none; neither has any alternate, each in its own way.
    server.addRoute(obsPath("KOWN"), HttpTestServer::status(404));
    server.addRoute(obsPath("KAAA"), HttpTestServer::ok(""));
    server.addRoute(obsPath("KBBB"), HttpTestServer::fixture("obs/no_humidity.xml"));
    server.addRoute(obsPath("KCCC"), HttpTestServer::ok(observation("Third, OK", "t", "NA")));
    server.addRoute(obsPath("KDDD"), HttpTestServer::status(500, "oops"));
    server.addRoute(obsPath("KEEE"), HttpTestServer::ok(observation("Fifth, OK", "t")));
    server.addRoute(obsPath("KFFF"), HttpTestServer::ok(observation("Far, OK", "t")));
    CurrentNWSWeatherInfoProviderImpl* const provider = install();
    LogCapture log;

    EXPECT_FALSE(model->performTask());

    const std::vector<std::string> expected = {obsPath("KOWN"), obsPath("KAAA"), obsPath("KBBB"),
                                               obsPath("KCCC"), obsPath("KDDD")};
    EXPECT_EQ(requested(), expected);
    EXPECT_EQ(statusMessages.size(), 5u);
    EXPECT_TRUE(log.contains("ERROR: Node validation error: dewpoint_f does not exist.\n"))
        << log.text();
    EXPECT_TRUE(log.contains("ERROR: Document unsupported.\ntemp_f is not a number: \"NA\"\n"))
        << log.text();
    EXPECT_EQ(model->getLocation(), "");
    EXPECT_EQ(provider->getStationId(), "KOWN");
}

TEST_F(CurrentNWSWeatherInfoProviderImplTest, WithoutAlternatesTheOwnStationFailureStands) {
    struct Case {
        const char* name;
        bool withHandler;
        std::string station;  // the own station
        std::string logLine;
    };
    const std::vector<Case> cases = {
        {"no station within twenty miles", true, "KLON", ""},
        {"no retry handler", false, "KOWN", "INFO: No retry handler available.\n"},
    };
    server.addRoute(obsPath("KAAA"), HttpTestServer::ok(observation("First, OK", "t")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        statusMessages.clear();
        if (c.station == "KLON") {
            *location.position = std::make_pair(40.0f, -100.0f);
        }
        location.stationId = c.station;
        const int before = server.requestCount();
        install(c.withHandler);
        LogCapture log;

        EXPECT_FALSE(model->performTask());

        EXPECT_EQ(server.requestCount(), before + 1);
        EXPECT_EQ(server.requestCount(obsPath(c.station)), 1);
        EXPECT_EQ(log.count("Attempting"), 0) << log.text();
        EXPECT_EQ(statusMessages.size(), 1u);
        if (!c.logLine.empty()) {
            EXPECT_TRUE(log.contains(c.logLine)) << log.text();
        }
    }
}

TEST_F(CurrentNWSWeatherInfoProviderImplTest, UrlNeedsAStationAndTestChecksTheDocument) {
    server.addRoute(obsPath("KOWN"), HttpTestServer::fixture("obs/cold_old_format.xml"));
    server.addRoute(obsPath("KDTO"), HttpTestServer::fixture("obs/no_humidity.xml"));
    LogCapture log;

    EXPECT_TRUE(CurrentNWSWeatherInfoProviderImpl("KOWN").test());
    EXPECT_FALSE(CurrentNWSWeatherInfoProviderImpl("KDTO").test());
    EXPECT_FALSE(CurrentNWSWeatherInfoProviderImpl("").test());

    EXPECT_TRUE(log.contains("ERROR: No URL\n")) << log.text();
    EXPECT_EQ(server.requestCount(), 2);
}
