#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "HttpTestServer.h"
#include "services/FastDelegate.h"
#include "weather/ForecastItem_t.h"
#include "weather/ForecastModel.h"
#include "weather/IWeatherInfoProvider.h"

using testsupport::HttpTestServer;
using vpcore::ForecastItem_t;
using vpcore::ForecastModel;
using vpcore::IWeatherInfoProvider;
using vpcore::IWeatherModel;

namespace vpcore {
// Reaches the model's mock forecast, which nothing in the program calls.
class ForecastModelTestAccess {
public:
    static void buildMockForecast(ForecastModel& model) { model.buildMockForecast(); }
};
}  // namespace vpcore

namespace {

ForecastItem_t* record(const std::string& name, int temperature) {
    auto* item = new ForecastItem_t;
    item->periodName = name;
    item->temperature = temperature;
    item->hiLoLabel = "Hi";
    return item;
}

// Stands in for a feed: fills the model with fresh records and answers as told.
class ListProvider : public IWeatherInfoProvider {
public:
    explicit ListProvider(bool succeed) : succeed(succeed) {}
    bool update(IWeatherModel* const model) override {
        ++updates;
        if (succeed) {
            static_cast<ForecastModel*>(model)->assignForecastItems(
                {record("Today", 91), record("Tonight", 73)});
        }
        return succeed;
    }
    bool succeed;
    int updates = 0;
};

class Journal {
public:
    void first() { calls.push_back("first"); }
    void second() { calls.push_back("second"); }
    std::vector<std::string> calls;
};

// Takes over the records handed out, as the forecast panel's cards do.
std::vector<std::unique_ptr<ForecastItem_t>> fetch(const ForecastModel& model) {
    std::vector<ForecastItem_t*> raw;
    model.getForecastItems(raw);
    std::vector<std::unique_ptr<ForecastItem_t>> owned;
    for (ForecastItem_t* item : raw) {
        owned.emplace_back(item);
    }
    return owned;
}

std::string pngBytes(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(Qt::yellow));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

}  // namespace

TEST(ForecastModelTest, ConditionComesFromTheWordedForecastThenTheNight) {
    struct Case {
        const char* periodName;
        const char* longDesc;
        ForecastItem_t::Condition_t expected;
    };
    const Case cases[] = {
        {"Tonight", "Mostly clear, with a low around 73.", ForecastItem_t::CONDITION_NIGHT},
        {"Saturday Night", "Partly cloudy.", ForecastItem_t::CONDITION_NIGHT},
        {"TONIGHT", "Clear.", ForecastItem_t::CONDITION_NIGHT},
        {"Today", "Sunny, with a high near 91.", ForecastItem_t::CONDITION_SUNNY},
        {"Tonight", "Snow showers likely after midnight.", ForecastItem_t::CONDITION_SNOW},
        {"Tonight", "Showers and thunderstorms likely.", ForecastItem_t::CONDITION_THUNDERSTORM},
        {"Monday", "A chance of THUNDERSTORMS.", ForecastItem_t::CONDITION_THUNDERSTORM},
        {"Monday", "Showers likely.", ForecastItem_t::CONDITION_RAIN},
        {"Monday", "Freezing rain and snow.", ForecastItem_t::CONDITION_RAIN},
        {"Monday", "Breezy, with snow showers.", ForecastItem_t::CONDITION_WINDY},
        {"Tonight", "Windy and clear.", ForecastItem_t::CONDITION_WINDY},
        {"Monday", "Sleet likely.", ForecastItem_t::CONDITION_SNOW},
        {"Monday", "", ForecastItem_t::CONDITION_SUNNY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.periodName) + " / " + c.longDesc);
        ForecastItem_t item;
        item.periodName = c.periodName;
        item.longDesc = c.longDesc;
        EXPECT_EQ(ForecastModel::conditionFromLongDesc(&item), c.expected);
    }
}

TEST(ForecastModelTest, SuccessfulUpdateCallsTheHandlersInOrderEveryTime) {
    ForecastModel model;
    auto* provider = new ListProvider(true);
    model.setProvider(std::unique_ptr<IWeatherInfoProvider>(provider));
    Journal journal;
    model.registerHandler(fastdelegate::FastDelegate0<void>(&journal, &Journal::first));
    model.registerHandler(fastdelegate::FastDelegate0<void>(&journal, &Journal::second));

    EXPECT_TRUE(model.performTask());
    EXPECT_TRUE(model.performTask());

    EXPECT_EQ(provider->updates, 2);
    EXPECT_EQ(journal.calls, (std::vector<std::string>{"first", "second", "first", "second"}));
    const auto items = fetch(model);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->periodName, "Today");
    EXPECT_EQ(items[1]->periodName, "Tonight");
    EXPECT_EQ(model.getTaskName(), "Forecast Update");
    EXPECT_EQ(model.getDescription(), "Updating forecast.");
    EXPECT_TRUE(model.contributesToProgressBar());
    EXPECT_FALSE(model.canLiveForever());
}

TEST(ForecastModelTest, FailedUpdateCallsNoHandlerAndLeavesTheListEmpty) {
    ForecastModel model;
    auto* provider = new ListProvider(true);
    model.setProvider(std::unique_ptr<IWeatherInfoProvider>(provider));
    Journal journal;
    model.registerHandler(fastdelegate::FastDelegate0<void>(&journal, &Journal::first));
    ASSERT_TRUE(model.performTask());
    journal.calls.clear();

    provider->succeed = false;
    EXPECT_FALSE(model.performTask());

    EXPECT_TRUE(journal.calls.empty());
    EXPECT_TRUE(fetch(model).empty());
}

// Every reader owns what it fetched and the model owns what it holds: the sanitizer builds
// report a record freed twice or never.
TEST(ForecastModelTest, EveryReaderGetsCopiesOfItsOwn) {
    ForecastModel model;
    ForecastItem_t* held = record("Tonight", 73);
    held->icon = std::make_unique<QImage>(4, 3, QImage::Format_ARGB32);
    held->icon->fill(Qt::red);
    model.addForecastItem(held);

    auto panel = fetch(model);
    auto another = fetch(model);

    ASSERT_EQ(panel.size(), 1u);
    ASSERT_EQ(another.size(), 1u);
    EXPECT_NE(panel[0].get(), held);
    EXPECT_NE(panel[0].get(), another[0].get());
    EXPECT_EQ(panel[0]->periodName, "Tonight");
    EXPECT_EQ(another[0]->temperature, 73);
    ASSERT_TRUE(panel[0]->icon);
    EXPECT_NE(panel[0]->icon.get(), held->icon.get());
    panel[0]->icon->fill(Qt::blue);
    EXPECT_EQ(another[0]->icon->pixelColor(0, 0), QColor(Qt::red));

    // Replacing the list frees the held record, not the readers' copies.
    model.assignForecastItems({record("Saturday", 92)});
    EXPECT_EQ(panel[0]->periodName, "Tonight");
    EXPECT_EQ(fetch(model)[0]->periodName, "Saturday");
}

TEST(ForecastModelTest, ARecordHandedInTwiceIsTakenOnce) {
    ForecastModel model;
    ForecastItem_t* today = record("Today", 91);
    ForecastItem_t* tonight = record("Tonight", 73);
    const std::vector<ForecastItem_t*> list = {today, nullptr, tonight, today};

    model.assignForecastItems(list);
    model.assignForecastItems(list);
    model.addForecastItem(tonight);
    model.addForecastItem(nullptr);

    const auto items = fetch(model);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->periodName, "Today");
    EXPECT_EQ(items[1]->periodName, "Tonight");

    // A list that keeps one of the held records frees only the other.
    model.assignForecastItems({tonight});
    EXPECT_EQ(tonight->periodName, "Tonight");
    ASSERT_EQ(fetch(model).size(), 1u);
}

TEST(ForecastModelTest, ReadersOnAnotherThreadSeeWholeLists) {
    ForecastModel model;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done.load()) {
            const auto items = fetch(model);
            if (!items.empty() && items.size() != 3u) {
                ++torn;
            }
        }
    });
    for (int i = 0; i < 300; ++i) {
        model.assignForecastItems({record("A", i), record("B", i), record("C", i)});
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(ForecastModelTest, MockForecastFetchesItsIconOnceAndCallsTheHandlers) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    HttpTestServer server;
    server.addRoute("/weather/images/fcicons/skc.jpg",
                    HttpTestServer::ok(pngBytes(5, 4), "image/png"));
    qputenv("OMBRIX_FORECAST_HOST", server.host().c_str());
    ForecastModel model;
    Journal journal;
    model.registerHandler(fastdelegate::FastDelegate0<void>(&journal, &Journal::first));

    vpcore::ForecastModelTestAccess::buildMockForecast(model);
    qunsetenv("OMBRIX_FORECAST_HOST");

    EXPECT_EQ(journal.calls, std::vector<std::string>{"first"});
    EXPECT_EQ(server.requestCount("/weather/images/fcicons/skc.jpg"), 1);
    const auto items = fetch(model);
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0]->periodName, "Tonight");
    EXPECT_EQ(items[0]->hiLoLabel, "Lo");
    EXPECT_EQ(items[0]->temperature, 32);
    EXPECT_EQ(items[0]->condition, ForecastItem_t::CONDITION_SNOW);
    EXPECT_EQ(items[1]->condition, ForecastItem_t::CONDITION_WINDY);
    EXPECT_EQ(items[4]->condition, ForecastItem_t::CONDITION_RAIN);
    EXPECT_EQ(items[6]->periodName, "Monday");
    for (const auto& item : items) {
        ASSERT_TRUE(item->icon);
        EXPECT_EQ(item->icon->size(), QSize(5, 4));
    }
}
