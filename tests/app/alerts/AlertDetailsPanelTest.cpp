#include <gtest/gtest.h>

#include <QLabel>
#include <QScrollArea>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <string>

#include "AlertFeedFixture.h"
#include "AppTestSupport.h"
#include "alerts/AlertDetailsPanel.h"
#include "alerts/AlertGLTextArea.h"
#include "alerts/AlertWidget.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/StringUtils.h"
#include "services/TaskScheduler.h"
#include "weather/LocationService.h"
#include "widgets/VPLinkLabel.h"

using testsupport::HttpTestServer;
using vpcore::NotificationService;

namespace {

// The reveal rules of the text area, stepped by hand.
TEST(AlertGLTextAreaTest, RevealTypesOutWhatIsNew) {
    AlertGLTextArea area(nullptr, "");
    const auto steps = [&area](int n) {
        for (int i = 0; i < n; ++i) {
            area.animationStep();
        }
    };

    area.setText("Flood", true);
    steps(1);
    EXPECT_EQ(area.shownText(), "F");
    steps(10);
    EXPECT_EQ(area.shownText(), "Flood");

    // Seen before: goes on from the length of the previous text.
    area.setText("Flood Warning", false);
    steps(1);
    EXPECT_EQ(area.shownText(), "Flood ");
    // Not longer than the previous text: all of it at once.
    area.setText("Wind", false);
    steps(1);
    EXPECT_EQ(area.shownText(), "Wind");
    // What is appended afterwards types itself out.
    area.appendText(" Chill");
    steps(1);
    EXPECT_EQ(area.shownText(), "Wind ");
    steps(5);
    EXPECT_EQ(area.shownText(), "Wind Chill");
    EXPECT_EQ(area.text(), "Wind Chill");
}

// Every line drawn fits the columns shown, and the words are those of the text.
void expectDrawnToFit(const AlertGLTextArea& area, int shownWidth) {
    const std::string drawn = area.drawnText();
    std::size_t start = 0;
    while (start < drawn.size()) {
        std::size_t end = drawn.find('\n', start);
        end = end == std::string::npos ? drawn.size() : end;
        // The bitmap font of the text area advances 8 pixels a character.
        EXPECT_LE(static_cast<int>(end - start) * 8, shownWidth)
            << drawn.substr(start, end - start);
        start = end + 1;
    }
    const auto letters = [](std::string text) {
        text.erase(
            std::remove_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\n'; }),
            text.end());
        return text;
    };
    EXPECT_EQ(letters(drawn), letters(area.shownText()));
}

TEST(AlertGLTextAreaTest, LinesBreakToTheWidthTheScrollAreaShows) {
    // A line of 83 characters, as the alert texts can have, and a word longer than a line.
    const std::string text =
        "...A WINTER STORM WARNING REMAINS IN EFFECT BEHIND A COLD FRONT UNTIL 6 PM FRIDAY...\n"
        "SEE http://forecast.example.gov/a/very/long/address/that/cannot/break/anywhere/at/all\n"
        "SHORT LINE\n";
    for (int shownWidth : {596, 300, 150}) {
        SCOPED_TRACE(shownWidth);
        QScrollArea scroll;
        scroll.setFrameShape(QFrame::NoFrame);
        scroll.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll.resize(shownWidth, 200);
        auto* area = new AlertGLTextArea(nullptr, "");
        area->setMinimumSize(shownWidth + 100, 400);  // wider than shown, as when expanded
        scroll.setWidget(area);
        scroll.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&scroll));
        EXPECT_EQ(area->shownColumns(), shownWidth / 8);

        area->setText(text, true);
        for (int step = 0; step < 40; ++step) {
            area->animationStep();
        }
        expectDrawnToFit(*area, shownWidth);  // part way through the typing
        for (std::size_t step = 0; step < text.size(); ++step) {
            area->animationStep();
        }
        ASSERT_EQ(area->shownText(), text);
        expectDrawnToFit(*area, shownWidth);
        EXPECT_NE(area->drawnText().find("SHORT LINE\n"), std::string::npos);
    }
    // Outside a scroll area the widget's own width counts.
    AlertGLTextArea alone(nullptr, "");
    alone.resize(400, 100);
    EXPECT_EQ(alone.shownColumns(), 50);
}

// Records how often an event fires, on whatever thread.
class EventCounter : public vpcore::NoPropertyChangeListener {
public:
    explicit EventCounter(short id) : id(id) {
        NotificationService::Instance().addPropertyChangeListener<int>(this, {id});
    }
    ~EventCounter() override {
        NotificationService::Instance().removePropertyChangeListener<int>(this, {id});
    }
    void handlePropertyChange(short, const int* const, const int* const) override { ++count; }

    const short id;
    std::atomic<int> count{0};
};

// The alert page of a real main window, showing the alerts of the location service's model,
// which reads fixture feeds; the details come from fixture CAP documents through the real
// retriever on the real scheduler. An indicator on the conditions page shows the viewed event.
class AlertDetailsPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        window = std::make_unique<apptest::MainWindowLease>();
        feed = std::make_unique<apptest::AlertFeed>(
            vpcore::LocationService::Instance().getAlertModel());
        viewedId =
            std::make_unique<apptest::PropertyIdsLease>(std::set<short>{vpcore::PROP_ALERT_VIEWED});
        indicator = new AlertWidget(feed->model, (*window)->showPage(0));
        panel = (*window)->findChild<AlertDetailsPanel*>();
        ASSERT_NE(panel, nullptr);
        textArea = panel->findChild<AlertGLTextArea*>();
        detailsLink = link("Click for details");
        previousLink = link("Previous alert");
        nextLink = link("Next alert");
        closeLink = link("Back to Current Conditions");
        viewed = std::make_unique<EventCounter>(vpcore::PROP_ALERT_VIEWED);
        (*window)->show();
        vpcore::TaskScheduler::instance().startScheduler();
    }
    void TearDown() override {
        vpcore::TaskScheduler::instance().shutdown();
        viewed.reset();
        delete indicator;
        viewedId.reset();
        feed.reset();
        window.reset();
    }

    VPLinkLabel* link(const QString& text) const {
        for (auto* candidate : panel->findChildren<VPLinkLabel*>()) {
            if (candidate->text() == text) {
                return candidate;
            }
        }
        ADD_FAILURE() << "no link " << text.toStdString();
        return nullptr;
    }
    void openPage() {
        (*window)->setCurrentPage(1);
        ASSERT_TRUE(panel->isVisible());
    }
    int currentPage() const { return window->currentPage(); }
    vpcore::AlertModel::AlertList alerts() const {
        vpcore::AlertModel::AlertList list;
        feed->model->getAlertItems(list);
        return list;
    }
    void serveDetails(const std::string& key, HttpTestServer::Response response) {
        feed->server.addRoute("/cap/wwacapget.php?x=" + key, std::move(response));
    }
    bool textIs(const std::string& expected) const {
        return apptest::waitFor([&] { return textArea->text() == expected; });
    }
    // The links' looks: true for active.
    std::pair<bool, bool> navigation() const {
        return {previousLink->isLinkActive(), nextLink->isLinkActive()};
    }

    static std::string headline(const vpcore::Alert_t& alert) {
        return alert.toDisplayString(70, true, false);
    }
    static std::string withDetails(const vpcore::Alert_t& alert) {
        return alert.toDisplayString(70, false, true);
    }

    std::unique_ptr<apptest::MainWindowLease> window;
    std::unique_ptr<apptest::AlertFeed> feed;
    std::unique_ptr<apptest::PropertyIdsLease> viewedId;
    AlertWidget* indicator = nullptr;
    AlertDetailsPanel* panel = nullptr;
    AlertGLTextArea* textArea = nullptr;
    VPLinkLabel* detailsLink = nullptr;
    VPLinkLabel* previousLink = nullptr;
    VPLinkLabel* nextLink = nullptr;
    VPLinkLabel* closeLink = nullptr;
    std::unique_ptr<EventCounter> viewed;
};

TEST_F(AlertDetailsPanelTest, WithoutAlertsThePageSaysSoAndLeavingCountsAsViewed) {
    ASSERT_TRUE(feed->update("feed_no_alerts.xml"));
    openPage();
    EXPECT_EQ(textArea->text(), "All weather alerts have expired");
    EXPECT_EQ(navigation(), std::make_pair(false, false));

    QTest::mouseClick(nextLink, Qt::LeftButton);
    QTest::mouseClick(detailsLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), "All weather alerts have expired");
    EXPECT_EQ(detailsLink->text(), "Click for details");

    QTest::mouseClick(closeLink, Qt::LeftButton);
    EXPECT_EQ(viewed->count, 1);
    EXPECT_EQ(currentPage(), 0);
}

TEST_F(AlertDetailsPanelTest, OneAlertTypesOutAndLeavingTheViewedPageStopsTheIndicator) {
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(apptest::waitFor(
        [&] { return indicator->findChild<QLabel*>()->text() != "No weather alerts"; }));
    const auto alert = alerts().at(0);
    EXPECT_FALSE(alert->viewed);

    openPage();
    EXPECT_TRUE(alert->viewed);
    EXPECT_EQ(textArea->text(), headline(*alert));
    EXPECT_EQ(navigation(), std::make_pair(false, false));
    // Shown for the first time, it types itself out from its first character.
    EXPECT_LT(textArea->shownText().size(), textArea->text().size());
    ASSERT_TRUE(apptest::waitFor([&] { return textArea->shownText() == textArea->text(); }, 20000));

    QTest::mouseClick(closeLink, Qt::LeftButton);
    EXPECT_EQ(currentPage(), 0);
    EXPECT_EQ(viewed->count, 1);
    ASSERT_TRUE(apptest::waitFor(
        [&] { return indicator->findChild<QLabel*>()->text() == "Weather alert"; }));
}

TEST_F(AlertDetailsPanelTest, SteppingThroughThreeAlerts) {
    ASSERT_TRUE(feed->update("feed_three_alerts.xml"));
    const auto list = alerts();
    ASSERT_EQ(list.size(), 3u);

    openPage();
    EXPECT_EQ(textArea->text(), headline(*list[0]));
    EXPECT_EQ(navigation(), std::make_pair(false, true));
    // Leaving with two alerts unseen does not count as viewed.
    QTest::mouseClick(closeLink, Qt::LeftButton);
    EXPECT_EQ(viewed->count, 0);
    EXPECT_EQ(currentPage(), 0);

    openPage();
    QTest::mouseClick(nextLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), withDetails(*list[1]));
    EXPECT_TRUE(list[1]->viewed);
    // In the middle both ways are open.
    EXPECT_EQ(navigation(), std::make_pair(true, true));
    QTest::mouseClick(nextLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), withDetails(*list[2]));
    EXPECT_EQ(navigation(), std::make_pair(true, false));
    QTest::mouseClick(previousLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), withDetails(*list[1]));
    EXPECT_EQ(navigation(), std::make_pair(true, true));
    QTest::mouseClick(previousLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), withDetails(*list[0]));
    EXPECT_EQ(navigation(), std::make_pair(false, true));

    // Every show starts over at the first alert; seen before, it is drawn at once.
    (*window)->setCurrentPage(0);
    openPage();
    EXPECT_EQ(textArea->text(), headline(*list[0]));
    EXPECT_EQ(navigation(), std::make_pair(false, true));

    QTest::mouseClick(closeLink, Qt::LeftButton);
    EXPECT_EQ(viewed->count, 1);
}

// A summary of one long line with characters beyond ASCII, as the feeds send it: the page
// shows it wrapped once, to lines that fit the columns shown and are as full as the next word
// allows; the text area has nothing left to break again.
TEST_F(AlertDetailsPanelTest, ALongSummaryIsWrappedOnceToTheColumnsShown) {
    ASSERT_TRUE(feed->update("feed_long_summary.xml"));
    openPage();
    const std::string text = textArea->text();
    // Typed out at once rather than at a character every 20 ms.
    for (std::size_t step = 0; step < text.size(); ++step) {
        textArea->animationStep();
    }
    ASSERT_EQ(textArea->shownText(), text);
    ASSERT_NE(text.find("30\xc2\xb0"
                        "F"),
              std::string::npos);
    EXPECT_EQ(textArea->drawnText(), text) << "the text area broke a line again";

    const auto columns = static_cast<std::size_t>(textArea->shownColumns());
    const auto characters = [](const std::string& line) {
        return static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    };
    std::vector<std::string> lines;
    vpcore::StringUtils::tokenize(text, lines, "\n");
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), lines.size())
        << "no empty line";
    const auto summaryStart = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("...WIND ADVISORY", 0) == 0;
    });
    ASSERT_NE(summaryStart, lines.end());
    ASSERT_GT(lines.end() - summaryStart, 4);
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        SCOPED_TRACE(*line);
        EXPECT_LE(characters(*line), columns);
        EXPECT_NE(line->back(), ' ');
        if (line >= summaryStart && line + 1 != lines.end()) {
            const std::string next = (line + 1)->substr(0, (line + 1)->find(' '));
            EXPECT_GT(characters(*line) + 1 + characters(next), AlertDetailsPanel::TEXT_WIDTH)
                << "an orphan word: the next one would have fitted";
        }
    }
}

// Every position of a long list: a link is active exactly when an alert lies on its side.
TEST_F(AlertDetailsPanelTest, ALongListCanBeWalkedBothWays) {
    const int count = 180;
    feed->serveEntries(count);
    ASSERT_TRUE(feed->updateServed());
    ASSERT_EQ(alerts().size(), static_cast<std::size_t>(count));

    openPage();
    EXPECT_EQ(navigation(), std::make_pair(false, true));
    for (int index = 1; index < count; ++index) {
        QTest::mouseClick(nextLink, Qt::LeftButton);
        ASSERT_EQ(navigation(), std::make_pair(true, index < count - 1)) << "at " << index;
    }
    EXPECT_EQ(textArea->text(), withDetails(*alerts().back()));
    for (int index = count - 2; index >= 0; --index) {
        QTest::mouseClick(previousLink, Qt::LeftButton);
        ASSERT_EQ(navigation(), std::make_pair(index > 0, true)) << "at " << index;
    }
    EXPECT_EQ(textArea->text(), withDetails(*alerts().front()));
}

TEST_F(AlertDetailsPanelTest, DetailsAreFetchedOnRequestAndShownUnderTheAlert) {
    ASSERT_TRUE(feed->update("feed_three_alerts.xml"));
    const auto alert = alerts().at(0);
    const std::string capPath = "/cap/wwacapget.php?x=MN1250.WinterStormWarning.01";
    serveDetails(
        "MN1250.WinterStormWarning.01",
        HttpTestServer::delayed(HttpTestServer::ok(feed->document("cap_winter_storm.xml")), 300));
    openPage();
    const std::string before = textArea->text();

    QTest::mouseClick(detailsLink, Qt::LeftButton);
    EXPECT_EQ(detailsLink->text(), "");
    EXPECT_EQ(textArea->text(), before + "\nRequesting details. Please wait ...");
    EXPECT_EQ(navigation(), std::make_pair(false, false));

    ASSERT_TRUE(apptest::waitFor([&] { return alert->hasDescription(); }));
    ASSERT_TRUE(textIs(alert->toDisplayString(70, false, false) + "\n" +
                       alert->getDescription()->toDisplayString(70)));
    EXPECT_NE(textArea->text().find("WINTER STORM WARNING\n"), std::string::npos);
    EXPECT_NE(textArea->text().find("Travel only in an emergency."), std::string::npos);
    // The looks from before the request are back.
    EXPECT_EQ(navigation(), std::make_pair(false, true));
    EXPECT_EQ(feed->server.requestCount(capPath), 1);

    // Asked again with the details there: shown at once, no second request.
    QTest::mouseClick(detailsLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), withDetails(*alert));
    apptest::drainEvents();
    EXPECT_EQ(feed->server.requestCount(capPath), 1);

    // Expanded, the next alert's details are fetched as it is shown, with no waiting text.
    serveDetails("MN1251.WindChillAdvisory.02",
                 HttpTestServer::ok(feed->document("cap_winter_storm.xml")));
    QTest::mouseClick(nextLink, Qt::LeftButton);
    const auto second = alerts().at(1);
    ASSERT_TRUE(apptest::waitFor([&] { return second->hasDescription(); }));
    ASSERT_TRUE(textIs(second->toDisplayString(70, false, false) + "\n" +
                       second->getDescription()->toDisplayString(70)));

    // A new show collapses the page again.
    (*window)->setCurrentPage(0);
    openPage();
    EXPECT_EQ(detailsLink->text(), "Click for details");
    EXPECT_EQ(panel->findChild<QScrollArea*>()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(AlertDetailsPanelTest, FailedRetrievalIsSaidUnderTheRequestLine) {
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    serveDetails("MN1250.WinterStormWarning.01", HttpTestServer::status(404, "gone"));
    openPage();
    const std::string before = textArea->text();

    QTest::mouseClick(detailsLink, Qt::LeftButton);
    ASSERT_TRUE(textIs(before + "\nRequesting details. Please wait ..."
                                "\nRetrieval of weather alert details failed."));
    EXPECT_EQ(navigation(), std::make_pair(false, false));
}

TEST_F(AlertDetailsPanelTest, ListThatShrankBetweenClicksShowsTheFirstAlert) {
    ASSERT_TRUE(feed->update("feed_three_alerts.xml"));
    serveDetails(
        "MN1252.SpecialWeatherStatement.03",
        HttpTestServer::delayed(HttpTestServer::ok(feed->document("cap_winter_storm.xml")), 1000));
    openPage();
    QTest::mouseClick(nextLink, Qt::LeftButton);
    QTest::mouseClick(nextLink, Qt::LeftButton);
    QTest::mouseClick(detailsLink, Qt::LeftButton);

    // While the details are on their way, two of the three alerts end.
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    const auto remaining = alerts();
    ASSERT_EQ(remaining.size(), 1u);
    ASSERT_TRUE(textIs(withDetails(*remaining[0])));
    EXPECT_EQ(navigation(), std::make_pair(false, false));

    // The same when the list shrinks between two clicks on the links.
    ASSERT_TRUE(feed->update("feed_three_alerts.xml"));
    (*window)->setCurrentPage(0);
    openPage();
    QTest::mouseClick(nextLink, Qt::LeftButton);
    QTest::mouseClick(nextLink, Qt::LeftButton);
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    QTest::mouseClick(previousLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), withDetails(*alerts().at(0)));
    EXPECT_EQ(navigation(), std::make_pair(false, false));

    // And when none is left at all.
    ASSERT_TRUE(feed->update("feed_no_alerts.xml"));
    QTest::mouseClick(detailsLink, Qt::LeftButton);
    EXPECT_EQ(textArea->text(), "All weather alerts have expired");
    EXPECT_EQ(navigation(), std::make_pair(false, false));
}

}  // namespace
