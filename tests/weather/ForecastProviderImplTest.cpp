#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QDomDocument>
#include <QImage>
#include <QTimeZone>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "HttpTestServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "services/FastDelegate.h"
#include "services/IPropertyChangeListener.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/StatusService.h"
#include "weather/ForecastItem_t.h"
#include "weather/ForecastModel.h"
#include "weather/ForecastProviderImpl.h"

using testsupport::HttpTestServer;
using testsupport::LogCapture;
using vpcore::ForecastItem_t;
using vpcore::ForecastModel;
using vpcore::ForecastProviderImpl;
using vpcore::IWeatherInfoProvider;
using vpcore::NotificationService;
using vpcore::PROP_FORECAST_HI_LO;
using vpcore::StatusMessage_t;
using vpcore::StatusService;

namespace {

typedef std::pair<int, std::string> HiLo;
typedef std::vector<std::unique_ptr<ForecastItem_t>> Items;

const std::string kFixtures = std::string(OMBRIX_FIXTURE_DIR) + "/forecast/";
const std::string kDayForecast = "/MapClick.php?lat=27.96&lon=-82.48&FcstType=dwml";

std::string fixtureText(const std::string& name) {
    return testsupport::readFile(kFixtures + name);
}

QDomDocument parse(const std::string& text) {
    QDomDocument document;
    EXPECT_TRUE(document.setContent(QByteArray::fromStdString(text)));
    return document;
}

// A small MapClick-shaped forecast. Periods alternate day and night, 12 hours apart; "nil"
// writes a value the feed marks as missing.
struct Shape {
    int periods = 2;
    bool nightFirst = false;
    std::vector<std::string> maxima = {"80"};
    std::vector<std::string> minima = {"60"};
    bool minimaListedFirst = false;
    int conditions = -1;  // -1: one per period
    int texts = -1;
    bool weather = true;
    bool worded = true;
    bool periodLayout = true;
    std::vector<std::string> icons;  // the icon links, none when empty
};

std::string dwml(const Shape& shape) {
    const QDateTime first(QDate(2026, 3, 2), QTime(shape.nightFirst ? 18 : 6, 0),
                          QTimeZone(-5 * 3600));
    const auto isNight = [&shape](int i) { return (i % 2 == 0) == shape.nightFirst; };
    const auto start = [&first](int i) {
        return first.addSecs(12 * 3600 * i).toString(Qt::ISODate).toStdString();
    };
    const auto name = [&isNight](int i) {
        return (isNight(i) ? "Night " : "Day ") + std::to_string(i / 2 + 1);
    };
    const std::string layout = "k-p12h-n" + std::to_string(shape.periods) + "-1";

    std::ostringstream d;
    d << "<?xml version=\"1.0\"?>\n<dwml xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
      << "<data type=\"forecast\">\n";
    d << "<time-layout><layout-key>k-p6h-n1-1</layout-key><start-valid-time>" << start(0)
      << "</start-valid-time></time-layout>\n";
    if (shape.periodLayout) {
        d << "<time-layout><layout-key>" << layout << "</layout-key>";
        for (int i = 0; i < shape.periods; ++i) {
            d << "<start-valid-time period-name=\"" << name(i) << "\">" << start(i)
              << "</start-valid-time>";
        }
        d << "</time-layout>\n";
    }
    for (const bool night : {false, true}) {
        d << "<time-layout><layout-key>" << (night ? "k-p24h-min" : "k-p24h-max")
          << "</layout-key>";
        for (int i = 0; i < shape.periods; ++i) {
            if (isNight(i) == night) {
                d << "<start-valid-time>" << start(i) << "</start-valid-time>";
            }
        }
        d << "</time-layout>\n";
    }
    d << "<parameters>\n";
    const auto series = [&d](const char* type, const char* key,
                             const std::vector<std::string>& values) {
        d << "<temperature type=\"" << type << "\" time-layout=\"" << key << "\">";
        for (const std::string& value : values) {
            d << (value == "nil" ? "<value xsi:nil=\"true\"/>" : "<value>" + value + "</value>");
        }
        d << "</temperature>\n";
    };
    if (shape.minimaListedFirst) {
        series("minimum", "k-p24h-min", shape.minima);
        series("maximum", "k-p24h-max", shape.maxima);
    } else {
        series("maximum", "k-p24h-max", shape.maxima);
        series("minimum", "k-p24h-min", shape.minima);
    }
    if (shape.weather) {
        d << "<weather time-layout=\"" << layout << "\">";
        const int count = shape.conditions < 0 ? shape.periods : shape.conditions;
        for (int i = 0; i < count; ++i) {
            d << "<weather-conditions weather-summary=\"Summary " << i << "\"/>";
        }
        d << "</weather>\n";
    }
    if (!shape.icons.empty()) {
        d << "<conditions-icon time-layout=\"" << layout << "\">";
        for (const std::string& icon : shape.icons) {
            d << "<icon-link>" << icon << "</icon-link>";
        }
        d << "</conditions-icon>\n";
    }
    if (shape.worded) {
        d << "<wordedForecast time-layout=\"" << layout << "\">";
        const int count = shape.texts < 0 ? shape.periods : shape.texts;
        for (int i = 0; i < count; ++i) {
            d << "<text>Text " << i << ".</text>";
        }
        d << "</wordedForecast>\n";
    }
    d << "</parameters></data></dwml>\n";
    return d.str();
}

struct Expected {
    const char* periodName;
    const char* hiLoLabel;
    int temperature;
    const char* shortDesc;
    ForecastItem_t::Condition_t condition;
};

void expectItems(const Items& items, const std::vector<Expected>& expected) {
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("period " + std::to_string(i));
        EXPECT_EQ(items[i]->periodName, expected[i].periodName);
        EXPECT_EQ(items[i]->hiLoLabel, expected[i].hiLoLabel);
        EXPECT_EQ(items[i]->temperature, expected[i].temperature);
        EXPECT_EQ(items[i]->shortDesc, expected[i].shortDesc);
        EXPECT_EQ(items[i]->condition, expected[i].condition);
    }
}

class HiLoRecorder : public vpcore::IPropertyChangeListener<HiLo> {
public:
    void handlePropertyChange(short, const HiLo* const, const HiLo* const newValue) override {
        heard.push_back(*newValue);
    }
    std::vector<HiLo> heard;
};

class Journal {
public:
    void onForecast() { ++calls; }
    int calls = 0;
};

class UrlProbe : public ForecastProviderImpl {
public:
    using ForecastProviderImpl::buildUrl;
    using ForecastProviderImpl::ForecastProviderImpl;
};

std::string pngBytes(int side) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(QColor(Qt::green));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

class ForecastProviderImplTest : public ::testing::Test {
protected:
    void TearDown() override {
        qunsetenv("OMBRIX_FORECAST_HOST");
        NotificationService::Instance().reset();
    }
};

}  // namespace

TEST_F(ForecastProviderImplTest, UrlCarriesThePositionAsAStreamWritesIt) {
    struct Case {
        const char* host;  // nullptr: unset
        std::pair<float, float> position;
        const char* expected;
    };
    const Case cases[] = {
        {"127.0.0.1:8080",
         {27.96f, -82.48f},
         "http://127.0.0.1:8080/MapClick.php?lat=27.96&lon=-82.48&FcstType=dwml"},
        {"127.0.0.1:8080",
         {38.8976763f, -77.0365298f},
         "http://127.0.0.1:8080/MapClick.php?lat=38.8977&lon=-77.0365&FcstType=dwml"},
        {"127.0.0.1:8080",
         {40.0f, -74.0f},
         "http://127.0.0.1:8080/MapClick.php?lat=40&lon=-74&FcstType=dwml"},
        {"https://forecast.example.test",
         {61.2181f, -149.9003f},
         "https://forecast.example.test/MapClick.php?lat=61.2181&lon=-149.9&FcstType=dwml"},
        {nullptr,
         {30.2747f, -97.7404f},
         "https://forecast.weather.gov/MapClick.php?lat=30.2747&lon=-97.7404&FcstType=dwml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        if (c.host != nullptr) {
            qputenv("OMBRIX_FORECAST_HOST", c.host);
        } else {
            qunsetenv("OMBRIX_FORECAST_HOST");
        }
        EXPECT_EQ(UrlProbe(c.position).buildUrl(), c.expected);
    }
}

TEST_F(ForecastProviderImplTest, DayForecastIsReadPastHazardLayoutsAndObservations) {
    Items items;
    std::vector<std::string> links;
    LogCapture log;

    ASSERT_TRUE(ForecastProviderImpl::readForecast(parse(fixtureText("mapclick_day_5_periods.xml")),
                                                   items, links));

    expectItems(items,
                {{"Today", "Hi", 91, "Sunny", ForecastItem_t::CONDITION_SUNNY},
                 {"Tonight", "Lo", 73, "Mostly Clear", ForecastItem_t::CONDITION_NIGHT},
                 {"Saturday", "Hi", 92, "Slight Chc Tstms", ForecastItem_t::CONDITION_THUNDERSTORM},
                 {"Saturday Night", "Lo", 75, "Partly Cloudy", ForecastItem_t::CONDITION_WINDY},
                 {"Sunday", "Hi", 88, "Rain Likely", ForecastItem_t::CONDITION_RAIN}});
    EXPECT_EQ(items[0]->longDesc, "Sunny, with a high near 91. Southwest wind around 6 mph.");
    EXPECT_EQ(items[4]->longDesc, "Rain likely.  High near 88.");
    EXPECT_EQ(links, (std::vector<std::string>{
                         "https://forecast.weather.gov/newimages/medium/few.png",
                         "https://forecast.weather.gov/newimages/medium/nfew.png",
                         "https://forecast.weather.gov/DualImage.php?i=sct&j=tsra&jp=20",
                         "https://forecast.weather.gov/newimages/medium/nfew.png", ""}));
    EXPECT_FALSE(items[0]->icon);
    EXPECT_EQ(log.count("ERROR"), 0) << log.text();
}

TEST_F(ForecastProviderImplTest, NightForecastStartsWithTheMinimum) {
    Items items;
    std::vector<std::string> links;

    ASSERT_TRUE(ForecastProviderImpl::readForecast(
        parse(fixtureText("mapclick_night_4_periods.xml")), items, links));

    expectItems(items,
                {{"Tonight", "Lo", -3, "Snow Showers", ForecastItem_t::CONDITION_SNOW},
                 {"Saturday", "Hi", 21, "Mostly Sunny", ForecastItem_t::CONDITION_SUNNY},
                 {"Saturday Night", "Lo", 12, "Chance Sleet", ForecastItem_t::CONDITION_SNOW},
                 {"Sunday", "Hi", 30, "Windy", ForecastItem_t::CONDITION_WINDY}});
    EXPECT_EQ(links, (std::vector<std::string>{
                         "https://forecast.weather.gov/newimages/medium/nsn.png",
                         "https://forecast.weather.gov/newimages/medium/sct.png", "", ""}));
}

// Which series leads is read from the time layouts, not from the order the feed lists them in.
TEST_F(ForecastProviderImplTest, TheSeriesThatStartsFirstLeads) {
    struct Case {
        bool nightFirst;
        bool minimaListedFirst;
        std::vector<std::string> labels;
        std::vector<int> temperatures;
    };
    const Case cases[] = {
        {true, false, {"Lo", "Hi", "Lo", "Hi", "Lo"}, {30, 50, 32, 52, 34}},
        {true, true, {"Lo", "Hi", "Lo", "Hi", "Lo"}, {30, 50, 32, 52, 34}},
        {false, true, {"Hi", "Lo", "Hi", "Lo", "Hi"}, {50, 30, 52, 32, 54}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.nightFirst ? "night" : "day") + " first, minima listed " +
                     (c.minimaListedFirst ? "first" : "second"));
        Shape shape;
        shape.periods = 5;
        shape.nightFirst = c.nightFirst;
        shape.minimaListedFirst = c.minimaListedFirst;
        shape.maxima = c.nightFirst ? std::vector<std::string>{"50", "52"}
                                    : std::vector<std::string>{"50", "52", "54"};
        shape.minima = c.nightFirst ? std::vector<std::string>{"30", "32", "34"}
                                    : std::vector<std::string>{"30", "32"};
        Items items;
        std::vector<std::string> links;
        ASSERT_TRUE(ForecastProviderImpl::readForecast(parse(dwml(shape)), items, links));
        std::vector<std::string> labels;
        std::vector<int> temperatures;
        for (const auto& item : items) {
            labels.push_back(item->hiLoLabel);
            temperatures.push_back(item->temperature);
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(temperatures, c.temperatures);
        EXPECT_EQ(links, std::vector<std::string>(5, ""));
    }
}

TEST_F(ForecastProviderImplTest, DocumentsOfTheWrongShapeAreRefusedWhole) {
    Shape thirteenPeriods;
    thirteenPeriods.periods = 13;
    thirteenPeriods.maxima = std::vector<std::string>(7, "80");
    thirteenPeriods.minima = std::vector<std::string>(7, "60");
    Shape fewerConditions;
    fewerConditions.conditions = 1;
    Shape moreTexts;
    moreTexts.texts = 3;
    Shape noWeather;
    noWeather.weather = false;
    Shape noWorded;
    noWorded.worded = false;
    Shape noLayout;
    noLayout.periodLayout = false;

    const std::pair<std::string, std::string> cases[] = {
        {dwml(thirteenPeriods),
         "Validation failed number of temps (14) do not match time periods (13)"},
        {dwml(fewerConditions),
         "Validation failed number of weather-conditions (1) do not match time periods (2)"},
        {dwml(moreTexts),
         "Validation failed number of long descriptions (3) do not match time periods (2)"},
        {dwml(noWeather), "Could not find weather node for short desc"},
        {dwml(noWorded), "Could not find wordedForecast node for long desc"},
        {dwml(noLayout), "Could not find 12 hr. time layout node."},
        // The NDFD by-day shape: 24-hour weather, 12-hour layouts only for precipitation.
        {fixtureText("ndfd_by_day.xml"), "Could not find weather node for short desc"},
        {"<html><body>Service unavailable</body></html>",
         "Could not find weather node for short desc"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(message);
        Items items;
        items.push_back(std::make_unique<ForecastItem_t>());
        std::vector<std::string> links = {"untouched"};
        LogCapture log;

        EXPECT_FALSE(ForecastProviderImpl::readForecast(parse(text), items, links));

        EXPECT_EQ(log.count("ERROR: " + message), 1) << log.text();
        EXPECT_EQ(log.count("ERROR"), 1) << log.text();
        EXPECT_EQ(items.size(), 1u);
        EXPECT_EQ(links, std::vector<std::string>{"untouched"});
    }
}

TEST_F(ForecastProviderImplTest, MissingTemperatureDropsItsPeriodAndAnUnreadableOneCountsAsZero) {
    Shape shape;
    shape.periods = 4;
    shape.maxima = {"80", "nil"};
    shape.minima = {"abc", " 61 "};
    Items items;
    std::vector<std::string> links;
    LogCapture log;

    ASSERT_TRUE(ForecastProviderImpl::readForecast(parse(dwml(shape)), items, links));

    expectItems(items, {{"Day 1", "Hi", 80, "Summary 0", ForecastItem_t::CONDITION_SUNNY},
                        {"Night 1", "Lo", 0, "Summary 1", ForecastItem_t::CONDITION_NIGHT},
                        {"Night 2", "Lo", 61, "Summary 3", ForecastItem_t::CONDITION_NIGHT}});
    EXPECT_EQ(items[2]->longDesc, "Text 3.");
    EXPECT_EQ(links.size(), 3u);
    EXPECT_EQ(log.count("ERROR: Conversion of temp abc failed."), 1) << log.text();
    EXPECT_EQ(log.count("WARN: No temperature for forecast period \"Day 2\""), 1) << log.text();
}

TEST_F(ForecastProviderImplTest, ForecastWithoutPeriodsIsEmptyNotBroken) {
    Shape shape;
    shape.periods = 0;
    shape.maxima = {};
    shape.minima = {};
    Items items;
    std::vector<std::string> links;

    EXPECT_TRUE(ForecastProviderImpl::readForecast(parse(dwml(shape)), items, links));
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(links.empty());
}

TEST_F(ForecastProviderImplTest, PeriodsPastTheCapAreLeftOutWithAWarning) {
    const size_t cap = ForecastProviderImpl::MAX_PERIODS;
    for (const size_t periods : {cap, cap + 2, 20 * cap}) {
        SCOPED_TRACE(periods);
        Shape shape;
        shape.periods = static_cast<int>(periods);
        shape.maxima.assign(periods / 2, "70");
        shape.minima.assign(periods / 2, "50");
        for (size_t i = 0; i < periods; ++i) {
            shape.icons.push_back("http://forecast.weather.gov/p" + std::to_string(i) + ".png");
        }
        Items items;
        std::vector<std::string> links;
        LogCapture log;

        ASSERT_TRUE(ForecastProviderImpl::readForecast(parse(dwml(shape)), items, links));

        ASSERT_EQ(items.size(), cap);
        ASSERT_EQ(links.size(), cap);
        EXPECT_EQ(items.back()->periodName, "Night " + std::to_string(cap / 2));
        EXPECT_EQ(links.back(), "http://forecast.weather.gov/p" + std::to_string(cap - 1) + ".png");
        EXPECT_EQ(log.count("WARN: The forecast has " + std::to_string(periods) +
                            " periods; only the first " + std::to_string(cap) + " are kept."),
                  periods > cap ? 1 : 0)
            << log.text();
    }
}

TEST_F(ForecastProviderImplTest, PropertyIdIsRegisteredOnceAndAgainAfterAReset) {
    NotificationService& service = NotificationService::Instance();
    service.reset();
    {
        ForecastProviderImpl first({27.96f, -82.48f});
        EXPECT_EQ(service.getRegisteredPropertyIds().count(PROP_FORECAST_HI_LO), 1u);
        EXPECT_NO_THROW(ForecastProviderImpl second({40.0f, -74.0f}));
    }
    service.reset();
    ForecastProviderImpl later({27.96f, -82.48f});
    EXPECT_EQ(service.getRegisteredPropertyIds(), std::set<short>{PROP_FORECAST_HI_LO});
}

class ForecastUpdateTest : public ForecastProviderImplTest {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        qputenv("OMBRIX_FORECAST_HOST", server.host().c_str());
        StatusService::Instance().registerUpdateHandler(
            StatusService::UpdateHandler(this, &ForecastUpdateTest::onStatus));
        NotificationService::Instance().addPropertyChangeListener<HiLo>(&hiLo,
                                                                        {PROP_FORECAST_HI_LO});
        model.registerHandler(fastdelegate::FastDelegate0<void>(&journal, &Journal::onForecast));
    }
    void TearDown() override {
        StatusService::Instance().registerUpdateHandler(StatusService::UpdateHandler());
        NotificationService::Instance().removePropertyChangeListener<HiLo>(&hiLo,
                                                                           {PROP_FORECAST_HI_LO});
        ForecastProviderImplTest::TearDown();
    }
    void onStatus(const StatusMessage_t& message) { statusMessages.push_back(message.message); }

    // The fixture as the site would serve it, its absolute icon links on this server.
    std::string served(const std::string& fixture) {
        std::string text = fixtureText(fixture);
        replaceAll(text, "https://forecast.weather.gov", server.url(""));
        return text;
    }
    void serveDayForecast() {
        server.addRoute(kDayForecast, HttpTestServer::ok(served("mapclick_day_5_periods.xml")));
        server.addRoute("/newimages/medium/few.png", HttpTestServer::ok(pngBytes(3), "image/png"));
        server.addRoute("/newimages/medium/nfew.png", HttpTestServer::ok(pngBytes(4), "image/png"));
        server.addRoute("/DualImage.php?i=sct&j=tsra&jp=20",
                        HttpTestServer::ok(pngBytes(5), "image/png"));
    }
    Items fetched() {
        std::vector<ForecastItem_t*> raw;
        model.getForecastItems(raw);
        Items owned;
        for (ForecastItem_t* item : raw) {
            owned.emplace_back(item);
        }
        return owned;
    }

    HttpTestServer server;
    ForecastModel model;
    Journal journal;
    HiLoRecorder hiLo;
    std::vector<std::string> statusMessages;
};

TEST_F(ForecastUpdateTest, UpdateFillsTheModelFetchesEachIconOnceAndPublishesTheFirstPeriod) {
    serveDayForecast();
    model.setProvider(std::make_unique<ForecastProviderImpl>(std::make_pair(27.96f, -82.48f)));
    LogCapture log;

    ASSERT_TRUE(model.performTask());

    EXPECT_EQ(journal.calls, 1);
    EXPECT_EQ(hiLo.heard, std::vector<HiLo>{HiLo(91, "Hi")});
    const Items items = fetched();
    ASSERT_EQ(items.size(), 5u);
    const int sides[] = {3, 4, 5, 4};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(items[i]->periodName);
        ASSERT_TRUE(items[i]->icon);
        EXPECT_EQ(items[i]->icon->size(), QSize(sides[i], sides[i]));
    }
    ASSERT_TRUE(items[4]->icon);
    EXPECT_TRUE(items[4]->icon->isNull());
    EXPECT_EQ(server.requestCount("/newimages/medium/nfew.png"), 1);
    EXPECT_EQ(server.requestCount(), 4);
    EXPECT_TRUE(statusMessages.empty());
    EXPECT_EQ(log.count("ERROR"), 0) << log.text();

    // Every update tells the listeners again, even with the same first period.
    ASSERT_TRUE(model.performTask());
    EXPECT_EQ(hiLo.heard.size(), 2u);
    EXPECT_EQ(journal.calls, 2);
}

TEST_F(ForecastUpdateTest, IconThatCannotBeFetchedLeavesItsPeriodWithoutAnImage) {
    server.addRoute("/MapClick.php?lat=61.2181&lon=-149.9&FcstType=dwml",
                    HttpTestServer::ok(served("mapclick_night_4_periods.xml")));
    server.addRoute("/newimages/medium/sct.png", HttpTestServer::ok(pngBytes(6), "image/png"));
    model.setProvider(std::make_unique<ForecastProviderImpl>(std::make_pair(61.2181f, -149.9f)));
    LogCapture log;

    ASSERT_TRUE(model.performTask());

    EXPECT_EQ(hiLo.heard, std::vector<HiLo>{HiLo(-3, "Lo")});
    const Items items = fetched();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items[0]->icon->isNull());
    EXPECT_EQ(items[1]->icon->size(), QSize(6, 6));
    EXPECT_TRUE(items[2]->icon->isNull());
    EXPECT_TRUE(items[3]->icon->isNull());
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(log.count("ERROR: Unable to retrieve image from URL "), 1) << log.text();
}

// A server of icons that hangs costs one icon fetch; the icons of the others are fetched, and
// links to anything but the web are never followed.
TEST_F(ForecastUpdateTest, AHangingIconServerIsAskedOnceAndTheOthersStillServe) {
    HttpTestServer hanging;
    testsupport::TempDir dir;
    const std::string local = dir.writeFile("local.png", pngBytes(7));
    Shape shape;
    shape.periods = 8;
    shape.maxima.assign(4, "70");
    shape.minima.assign(4, "50");
    for (int i = 0; i < 8; ++i) {
        const std::string path = "/icons/p" + std::to_string(i) + ".png";
        if (i % 2 == 0) {
            hanging.addRoute(path, HttpTestServer::hostile("stall"));
            shape.icons.push_back(hanging.url(path));
        } else {
            server.addRoute(path, HttpTestServer::ok(pngBytes(i), "image/png"));
            shape.icons.push_back(server.url(path));
        }
    }
    shape.icons[7] = "file://" + local;
    server.addRoute(kDayForecast, HttpTestServer::ok(dwml(shape)));
    model.setProvider(std::make_unique<ForecastProviderImpl>(std::make_pair(27.96f, -82.48f)));
    LogCapture log;
    const auto started = std::chrono::steady_clock::now();

    ASSERT_TRUE(model.performTask());

    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(ForecastProviderImpl::ICON_FETCH_SECONDS + 3));
    EXPECT_EQ(hanging.requestCount(), 1);
    const Items items = fetched();
    ASSERT_EQ(items.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const bool served = i % 2 == 1 && i != 7;
        EXPECT_EQ(items[i]->icon->isNull(), !served);
        if (served) {
            EXPECT_EQ(items[i]->icon->size(), QSize(i, i));
        }
    }
    EXPECT_EQ(log.count("WARN: 3 forecast icons were not fetched: their host timed out"), 1)
        << log.text();
    EXPECT_EQ(log.count("WARN: The forecast icon \"file://" + local +
                        "\" is not a web address; it is not fetched."),
              1)
        << log.text();
}

TEST_F(ForecastUpdateTest, FailedFetchOrRefusedDocumentLeavesTheModelEmptyAndTellsNoOne) {
    const std::pair<HttpTestServer::Response, std::string> cases[] = {
        {HttpTestServer::status(500, "down"), "Could not update current weather. "},
        {HttpTestServer::ok("<dwml><data type=\"forecast\">"),
         "Could not update current weather. "},
        {HttpTestServer::ok(fixtureText("ndfd_by_day.xml")), ""},
    };
    model.setProvider(std::make_unique<ForecastProviderImpl>(std::make_pair(27.96f, -82.48f)));
    for (const auto& [response, status] : cases) {
        SCOPED_TRACE(status.empty() ? "refused document" : "failed fetch");
        serveDayForecast();
        ASSERT_TRUE(model.performTask());
        hiLo.heard.clear();
        journal.calls = 0;
        statusMessages.clear();
        server.addRoute(kDayForecast, response);

        EXPECT_FALSE(model.performTask());

        EXPECT_TRUE(fetched().empty());
        EXPECT_EQ(journal.calls, 0);
        EXPECT_TRUE(hiLo.heard.empty());
        EXPECT_EQ(statusMessages,
                  status.empty() ? std::vector<std::string>() : std::vector<std::string>{status});
    }
}
