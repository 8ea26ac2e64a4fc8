#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AlertTestSupport.h"
#include "ExceptionText.h"
#include "LogCapture.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "weather/AlertModel.h"

using alerttest::EventRecorder;
using alerttest::makeAlert;
using alerttest::messages;
using testsupport::LogCapture;
using vpcore::Alert_t;
using vpcore::AlertDescription_t;
using vpcore::AlertModel;
using vpcore::NotificationService;
using vpcore::PROP_ALERT_NEW;
using vpcore::PROP_ALERTS_CHANGED;
using vpcore::PROP_ALERTS_EXPIRED;

namespace {

typedef std::vector<short> Events;

const std::int64_t kStart = 1'800'000'000;
const std::int64_t kHour = 3600;

class AlertModelTest : public ::testing::Test {
protected:
    void TearDown() override {
        recorder.reset();
        model.reset();
        NotificationService::Instance().reset();
    }
    // Assigns the list and returns the events it caused.
    Events assign(const AlertModel::AlertList& list) {
        recorder->take();
        model->assignAlerts(list);
        return recorder->take();
    }

    std::atomic<std::int64_t> now{kStart};
    std::unique_ptr<AlertModel> model = std::make_unique<AlertModel>([this] { return now.load(); });
    std::unique_ptr<EventRecorder> recorder = std::make_unique<EventRecorder>(
        std::set<short>{PROP_ALERTS_CHANGED, PROP_ALERT_NEW, PROP_ALERTS_EXPIRED});
};

}  // namespace

TEST_F(AlertModelTest, RegistersItsEventsForItsLifetime) {
    NotificationService& service = NotificationService::Instance();
    EXPECT_EQ(service.getRegisteredPropertyIds(), (std::set<short>{22, 23, 24}));
    EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>([] { AlertModel second; }),
              "Cannot have duplicate PropIds 22. PropIds are unique and global to the "
              "application.");
    EXPECT_EQ(model->getTaskName(), "Alert Update");
    EXPECT_FALSE(model->contributesToProgressBar());
    model.reset();
    EXPECT_TRUE(service.getRegisteredPropertyIds().empty());
}

// First run with two alerts, the same again, one republished, then none, then none again:
// the events and the exact log lines of each step.
TEST_F(AlertModelTest, EventsAndLogLinesOfAFeedOverTime) {
    const auto a = makeAlert("http://x/cap/a", "2026-12-10T09:00:00-06:00", "A FIRST");
    const auto b = makeAlert("http://x/cap/b", "2026-12-10T09:30:00-06:00", "B SECOND");
    {
        SCOPED_TRACE("first run with two alerts");
        LogCapture log;
        EXPECT_EQ(assign({a, b}), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
        EXPECT_EQ(messages(log),
                  (std::vector<std::string>{"New weather alert!!!",
                                            "New or changed alert(s) available:", "Alert 1",
                                            a->toString(), "Alert 2", b->toString()}));
        EXPECT_EQ(a->toString(),
                  "ID: http://x/cap/a\nTITLE: Title of http://x/cap/a\n"
                  "UPDATED: 2026-12-10T09:00:00-06:00\nPUBLISHED: 2026-12-10T09:00:00-06:00\n"
                  "EFFECTIVE: 2026-12-10T09:00:00-06:00\nEXPIRES: 2026-12-11T06:00:00-06:00\n"
                  "SUMMARY: A FIRST\n");
    }
    {
        SCOPED_TRACE("the same two alerts again, as new records");
        LogCapture log;
        const auto sameA = std::make_shared<Alert_t>(*a);
        const auto sameB = std::make_shared<Alert_t>(*b);
        EXPECT_EQ(assign({sameA, sameB}), Events{});
        EXPECT_EQ(messages(log), std::vector<std::string>{"No new weather alerts."});
    }
    {
        SCOPED_TRACE("one republished");
        LogCapture log;
        const auto republished = std::make_shared<Alert_t>(*b);
        republished->published = "2026-12-10T10:15:00-06:00";
        EXPECT_EQ(assign({a, republished}), Events{PROP_ALERTS_CHANGED});
        EXPECT_EQ(messages(log),
                  (std::vector<std::string>{"New or changed alert(s) available:", "Alert 1",
                                            a->toString(), "Alert 2", republished->toString()}));
    }
    {
        SCOPED_TRACE("none");
        LogCapture log;
        EXPECT_EQ(assign({}), Events{PROP_ALERTS_EXPIRED});
        EXPECT_EQ(messages(log), std::vector<std::string>{"Weather alert(s) have expired."});
    }
    {
        SCOPED_TRACE("none again");
        LogCapture log;
        EXPECT_EQ(assign({}), Events{});
        EXPECT_EQ(messages(log), std::vector<std::string>{"No new weather alerts."});
    }
}

TEST_F(AlertModelTest, ListsCompareAsSetsOfIdAndPublishedTime) {
    const auto a = makeAlert("a", "2026-12-10T09:00:00-06:00");
    const auto b = makeAlert("b", "2026-12-10T09:00:00-06:00");
    const auto c = makeAlert("c", "2026-12-10T09:00:00-06:00");
    assign({a, b});

    EXPECT_EQ(assign({b, a}), Events{}) << "order does not matter";
    const auto retitled = std::make_shared<Alert_t>(*a);
    retitled->title = "Another title";
    EXPECT_EQ(assign({retitled, b}), Events{}) << "only id and published time count";
    EXPECT_EQ(assign({retitled, c}), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}))
        << "one gone and one new is a change, not an expiry";
    EXPECT_EQ(assign({retitled}), Events{PROP_ALERTS_CHANGED}) << "fewer, but not none";
    EXPECT_EQ(assign({retitled, retitled}), Events{PROP_ALERTS_CHANGED}) << "sizes differ";
}

TEST_F(AlertModelTest, ManyEntriesOfOneIdAreMatchedByTheirPublishedTimes) {
    // A feed of thousands of entries under one id: only the time stamps tell them apart, in
    // whatever spelling the next list writes them.
    const int count = 10000;
    const auto stamp = [](int minute, const char* zone) {
        char text[40];
        std::snprintf(text, sizeof text, "2026-12-%02dT%02d:%02d:00%s", 1 + minute / 1440,
                      minute / 60 % 24, minute % 60, zone);
        return std::string(text);
    };
    AlertModel::AlertList first;
    AlertModel::AlertList again;
    for (int i = 0; i < count; ++i) {
        first.push_back(makeAlert("urn:one", stamp(i, "Z")));
        again.push_back(makeAlert("urn:one", stamp(i, "+00:00")));
    }
    first[count - 1]->viewed = true;
    EXPECT_EQ(assign(first), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));

    EXPECT_EQ(assign(again), Events{}) << "the same instants, spelled otherwise";
    EXPECT_TRUE(again[count - 1]->viewed);
    EXPECT_FALSE(again[0]->viewed);

    AlertModel::AlertList shifted(again.begin() + 1, again.end());
    shifted.push_back(makeAlert("urn:one", stamp(count, "Z"), "ANOTHER SUMMARY"));
    EXPECT_EQ(assign(shifted), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
    EXPECT_TRUE(shifted[count - 2]->viewed);
}

TEST_F(AlertModelTest, TheCacheForgetsTheAlertsSeenLongestAgoPastItsBound) {
    const std::size_t bound = AlertModel::kAlertCacheMaxEntries;
    const std::size_t round = bound / 4;
    // Ids that change every round, as a feed of ever new alerts writes them.
    const auto roundOf = [round](int number) {
        AlertModel::AlertList list;
        for (std::size_t i = 0; i < round; ++i) {
            list.push_back(makeAlert("urn:" + std::to_string(number) + ":" + std::to_string(i),
                                     "2026-12-10T09:00:00-06:00"));
        }
        return list;
    };
    LogCapture log;
    for (int number = 0; number < 4; ++number) {
        now = kStart + number * 120;
        assign(roundOf(number));
        EXPECT_EQ(model->alertCacheSize(), (number + 1) * round);
    }
    EXPECT_FALSE(log.contains("WARN:"));

    now = kStart + 4 * 120;
    assign(roundOf(4));
    EXPECT_EQ(model->alertCacheSize(), bound);
    EXPECT_TRUE(log.contains("WARN: The alert cache holds at most " + std::to_string(bound) +
                             " alerts: the " + std::to_string(5 * round - bound) +
                             " seen longest ago are forgotten"))
        << log.text();
    // The rounds seen last are still known; the first is forgotten.
    EXPECT_EQ(assign(roundOf(3)), Events{PROP_ALERTS_CHANGED});
    EXPECT_EQ(assign(roundOf(0)), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
    EXPECT_LE(model->alertCacheSize(), bound);
}

TEST_F(AlertModelTest, AnAlertIsNewUntilSeenAndStaysKnownFor48HoursAfterItsLastList) {
    const auto a = makeAlert("a", "2026-12-10T09:00:00-06:00");
    EXPECT_EQ(assign({a}), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
    now = kStart + 10 * kHour;
    EXPECT_EQ(assign({a}), Events{}) << "seen again: its time is renewed";
    now = kStart + 11 * kHour;
    EXPECT_EQ(assign({}), Events{PROP_ALERTS_EXPIRED});

    now = kStart + 10 * kHour + 48 * kHour;  // exactly 48 hours after it was last listed
    EXPECT_EQ(assign({a}), Events{PROP_ALERTS_CHANGED}) << "back within 48 hours: not new";
    EXPECT_EQ(assign({}), Events{PROP_ALERTS_EXPIRED});

    now = now + 48 * kHour + 1;
    EXPECT_EQ(assign({a}), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}))
        << "back more than 48 hours later, with no run in between: new again";
    now = now + 48 * kHour + 1;
    EXPECT_EQ(assign({}), Events{PROP_ALERTS_EXPIRED});
    now = now + 1;
    EXPECT_EQ(assign({a}), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}))
        << "forgotten by the run that found it gone";
}

TEST_F(AlertModelTest, ANewSummaryMakesANewAlertUnderTheSameId) {
    assign({makeAlert("a", "2026-12-10T09:00:00-06:00", "FLOOD WATCH")});
    EXPECT_EQ(assign({makeAlert("a", "2026-12-10T11:00:00-06:00", "FLOOD WARNING")}),
              (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
}

TEST(AlertCacheRuleTest, EntryIsStaleOnlyWhenOlderThanTheMaximumAge) {
    struct Case {
        std::int64_t lastSeen;
        std::int64_t now;
        bool stale;
    } const cases[] = {
        {kStart, kStart, false},
        {kStart, kStart + AlertModel::kAlertCacheMaxAge, false},
        {kStart, kStart + AlertModel::kAlertCacheMaxAge + 1, true},
        {kStart, kStart - 5 * kHour, false},  // the clock was set back
    };
    EXPECT_EQ(AlertModel::kAlertCacheMaxAge, 48 * kHour);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.now - c.lastSeen));
        EXPECT_EQ(AlertModel::isCacheEntryStale(c.lastSeen, c.now, AlertModel::kAlertCacheMaxAge),
                  c.stale);
    }
}

TEST_F(AlertModelTest, AFreshRecordOfTheSameAlertKeepsItsViewedFlagAndDetails) {
    const auto a = makeAlert("a", "2026-12-10T09:00:00-06:00");
    const auto b = makeAlert("b", "2026-12-10T09:00:00-06:00");
    assign({a, b});
    a->viewed = true;
    a->description = std::make_unique<AlertDescription_t>("Rain.", "Stay in.", "Flood Warning");

    const auto freshA = std::make_shared<Alert_t>(a->id);
    freshA->published = a->published;
    const auto freshB = std::make_shared<Alert_t>(*b);
    const auto republishedA = std::make_shared<Alert_t>(a->id);
    republishedA->published = "2026-12-10T12:00:00-06:00";
    assign({freshA, freshB});

    AlertModel::AlertList held;
    model->getAlertItems(held);
    ASSERT_EQ(held, (AlertModel::AlertList{freshA, freshB}));
    EXPECT_TRUE(freshA->viewed);
    ASSERT_NE(freshA->description, nullptr);
    EXPECT_EQ(freshA->description->event, "Flood Warning");
    EXPECT_NE(freshA->description.get(), a->description.get()) << "a copy, not a shared one";
    EXPECT_FALSE(freshB->viewed);
    EXPECT_EQ(freshB->description, nullptr);

    assign({republishedA, freshB});
    EXPECT_FALSE(republishedA->viewed) << "a republished alert is to be read anew";
    EXPECT_EQ(republishedA->description, nullptr);
}

TEST_F(AlertModelTest, EmptySlotsInAListAreDropped) {
    const auto a = makeAlert("a", "2026-12-10T09:00:00-06:00");
    EXPECT_EQ(assign({nullptr, a, nullptr}), (Events{PROP_ALERT_NEW, PROP_ALERTS_CHANGED}));
    AlertModel::AlertList held;
    model->getAlertItems(held);
    EXPECT_EQ(held, AlertModel::AlertList{a});
    EXPECT_EQ(assign({nullptr}), Events{PROP_ALERTS_EXPIRED});
}

namespace {

// Reads the model's list from inside the notification, as the alert panel may.
class ListReader : public vpcore::NoPropertyChangeListener {
public:
    explicit ListReader(AlertModel& model) : model(model) {
        NotificationService::Instance().addPropertyChangeListener<int>(this, {PROP_ALERTS_CHANGED});
    }
    ~ListReader() override {
        NotificationService::Instance().removePropertyChangeListener<int>(this,
                                                                          {PROP_ALERTS_CHANGED});
    }
    void handlePropertyChange(short, const int* const, const int* const) override {
        model.getAlertItems(seen);
    }
    AlertModel& model;
    AlertModel::AlertList seen;
};

}  // namespace

TEST_F(AlertModelTest, AListenerReadsTheNewListOnTheNotifyingThread) {
    ListReader reader(*model);
    const auto a = makeAlert("a", "2026-12-10T09:00:00-06:00");
    assign({a});
    EXPECT_EQ(reader.seen, AlertModel::AlertList{a});
}

TEST_F(AlertModelTest, AnotherThreadAlwaysReadsAWholeList) {
    const AlertModel::AlertList two = {makeAlert("a", "2026-12-10T09:00:00-06:00"),
                                       makeAlert("b", "2026-12-10T09:00:00-06:00")};
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    std::thread gui([&] {
        AlertModel::AlertList out;
        while (!done) {
            model->getAlertItems(out);
            if (!out.empty() && out != two) {
                ++torn;
            }
            ++reads;
        }
    });
    {
        LogCapture quiet;
        for (int i = 0; i < 200 || reads == 0; ++i) {
            model->assignAlerts(i % 2 == 0 ? two : AlertModel::AlertList{});
        }
    }
    done = true;
    gui.join();
    EXPECT_EQ(torn, 0);
}

TEST(AlertTest, EqualWhenIdAndPublishedTimeNameTheSameAlert) {
    struct Case {
        const char* id;
        const char* published;
        bool equal;
    } const cases[] = {
        {"a", "2010-08-31T14:24:00-00:00", true},
        {"a", "2010-08-31T14:24:00+00:00", true},  // the same instant, spelled differently
        {"a", "2010-08-31T14:24:00Z", true},
        {"a", "2010-08-31T10:24:00-04:00", true},
        {"a", "2010-08-31T14:25:00-00:00", false},
        {"b", "2010-08-31T14:24:00-00:00", false},
        {"a", "", false},
    };
    Alert_t reference("a");
    reference.published = "2010-08-31T14:24:00-00:00";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " " + c.published);
        Alert_t other(c.id);
        other.published = c.published;
        EXPECT_EQ(reference == other, c.equal);
        EXPECT_EQ(reference != other, !c.equal);
        // The model matches lists by the key: it must judge exactly as the comparison does.
        EXPECT_EQ(reference.identityKey() == other.identityKey(), c.equal);
    }
    Alert_t unparsable("a");
    unparsable.published = "yesterday";
    Alert_t same("a");
    same.published = "yesterday";
    EXPECT_TRUE(unparsable == same) << "texts that are not times compare as texts";
    EXPECT_EQ(unparsable.identityKey(), same.identityKey());
    Alert_t other("a");
    other.published = "today";
    EXPECT_NE(unparsable.identityKey(), other.identityKey());

    const auto shared = std::make_shared<Alert_t>(reference);
    EXPECT_TRUE(vpcore::isEqual(shared, std::make_shared<Alert_t>(reference)));
    EXPECT_FALSE(vpcore::isEqual(shared, nullptr));
    EXPECT_FALSE(vpcore::isEqual(nullptr, nullptr));
}

TEST(AlertTest, CopyingDuplicatesTheDetailsAndMovingHandsThemOver) {
    Alert_t original("a");
    original.summary = "S";
    original.viewed = true;
    original.description = std::make_unique<AlertDescription_t>("d", "i", "e");

    Alert_t copy(original);
    ASSERT_NE(copy.description, nullptr);
    ASSERT_NE(original.description, nullptr);
    EXPECT_NE(copy.description.get(), original.description.get());
    EXPECT_EQ(copy.description->event, "e");
    EXPECT_TRUE(copy.viewed);
    EXPECT_EQ(copy.summary, "S");

    Alert_t moved(std::move(copy));
    ASSERT_NE(moved.description, nullptr);
    EXPECT_EQ(copy.description, nullptr);  // NOLINT(bugprone-use-after-move): checked on purpose

    Alert_t assigned("b");
    assigned = original;
    EXPECT_EQ(assigned.id, "a");
    ASSERT_NE(assigned.description, nullptr);
    EXPECT_EQ(assigned.description->description, "d");
    EXPECT_FALSE(Alert_t("fresh").viewed);
}

// The details retriever attaches the details on the runner thread while the alert page reads
// and copies the same shared record on the GUI thread (a ThreadSanitizer run tells a race).
TEST(AlertTest, DetailsHandedOverWhileAnotherThreadReadsThem) {
    const auto alert = std::make_shared<Alert_t>("http://x/cap/a");
    alert->title = "Flood Warning";
    std::atomic<bool> reading{false};
    std::atomic<bool> done{false};
    std::thread runner([&] {
        // On a loaded machine the writer could otherwise be through before the reader starts.
        while (!reading) {
            std::this_thread::yield();
        }
        for (int i = 0; i < 2000; ++i) {
            alert->setDescription(i % 2 == 0 ? std::make_unique<AlertDescription_t>(
                                                   "Rain " + std::to_string(i), "Stay in.", "e")
                                             : nullptr);
        }
        alert->setDescription(std::make_unique<AlertDescription_t>("Rain.", "Stay in.", "e"));
        done = true;
    });
    int seen = 0;
    reading = true;
    do {
        const Alert_t copy(*alert);
        if (const auto details = alert->getDescription()) {
            seen += details->description.empty() ? 0 : 1;
        }
        seen += alert->toDisplayString(70, true, true).empty() ? 0 : 1;
        seen += copy.hasDescription() ? 1 : 0;
    } while (!done);
    runner.join();
    EXPECT_GT(seen, 0);
    ASSERT_TRUE(alert->hasDescription());
    EXPECT_EQ(alert->getDescription()->description, "Rain.");
    EXPECT_NE(alert->getDescription().get(), alert->description.get()) << "a copy";
}

TEST(AlertTest, DisplayStringsAreWrappedAndDetailsFollowOnRequest) {
    Alert_t alert("http://x/cap/a");
    alert.title = "Flood Warning issued December 10 at 9:00AM CST until December 11 at 6:00AM CST";
    alert.updated = "2026-12-10T09:00:00-06:00";
    alert.published = "2026-12-10T09:00:00-06:00";
    alert.effective = "2026-12-10T09:00:00-06:00";
    alert.expires = "2026-12-11T06:00:00-06:00";
    alert.summary = "...THE FLOOD WARNING CONTINUES FOR THE CACHE RIVER NEAR PATTERSON...";
    const std::string head =
        "Flood Warning issued December 10 at 9:00AM CST until December 11 at\n"
        "6:00AM CST\n"
        "UPDATED: 2026-12-10T09:00:00-06:00\n"
        "PUBLISHED: 2026-12-10T09:00:00-06:00\n"
        "EFFECTIVE: 2026-12-10T09:00:00-06:00\n"
        "EXPIRES: 2026-12-11T06:00:00-06:00\n";
    const std::string summary =
        "...THE FLOOD WARNING CONTINUES FOR THE CACHE RIVER NEAR PATTERSON...\n";

    EXPECT_EQ(alert.toDisplayString(70, true, false), head + summary);
    EXPECT_EQ(alert.toDisplayString(70, false, true), head) << "no details attached yet";

    alert.description = std::make_unique<AlertDescription_t>(
        "* At 8:00 PM Saturday the stage was 9.5 feet.\n* Flood stage is 8.0 feet.", "",
        "Flood Warning");
    const std::string details =
        "FLOOD WARNING\n"
        "* At 8:00 PM Saturday the stage was 9.5 feet.\n"
        "* Flood stage is 8.0 feet.\n";
    EXPECT_EQ(alert.description->toDisplayString(70), details) << "an empty instruction adds "
                                                                  "no line";
    EXPECT_EQ(alert.toDisplayString(70, false, true), head + "\n" + details);
    EXPECT_EQ(alert.toDisplayString(70, false, false), head);
}

TEST(AlertTest, DescriptionDisplayWrapsLongLinesAndKeepsTheInstruction) {
    const AlertDescription_t description(
        "Very cold wind chills expected, as low as 45 below zero tonight.",
        "Use caution while traveling outside.", "Wind Chill Advisory");
    EXPECT_EQ(description.toDisplayString(30),
              "WIND CHILL ADVISORY\n"
              "Very cold wind chills\n"
              "expected, as low as 45 below\n"
              "zero tonight.\n"
              "Use caution while traveling\n"
              "outside.\n");
}
