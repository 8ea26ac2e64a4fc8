#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QTest>
#include <thread>

#include "AlertFeedFixture.h"
#include "AppTestSupport.h"
#include "alerts/AlertWidget.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using vpcore::NotificationService;

namespace {

// The indicator on the conditions page of a real main window, fed by its own alert model.
class AlertWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_FETCH_TESTS_UNDER_TSAN();
        window = std::make_unique<apptest::MainWindowLease>();
        feed = std::make_unique<apptest::AlertFeed>();
        // Taken over from the window's own indicator, if it has one.
        viewedId =
            std::make_unique<apptest::PropertyIdsLease>(std::set<short>{vpcore::PROP_ALERT_VIEWED});
        widget = new AlertWidget(feed->model, (*window)->showPage(0));
        label = widget->findChild<QLabel*>();
        (*window)->show();
    }
    void TearDown() override {
        delete widget;
        viewedId.reset();
        feed.reset();
        window.reset();
    }

    QString text() const { return label->text(); }
    // True when the text hides and shows again, as the blinking does.
    bool blinks() const {
        return apptest::waitFor([this] { return text().isEmpty(); }, 3000) &&
               apptest::waitFor([this] { return text() == "New weather alert"; }, 3000);
    }
    // True when the text stays as it is for longer than two blink periods.
    bool staysFor(const QString& expected) const {
        return !apptest::waitFor([&] { return text() != expected; }, 1500);
    }
    void click() { QTest::mouseClick(label, Qt::LeftButton); }
    int currentPage() const { return window->currentPage(); }

    std::unique_ptr<apptest::MainWindowLease> window;
    std::unique_ptr<apptest::AlertFeed> feed;
    std::unique_ptr<apptest::PropertyIdsLease> viewedId;
    AlertWidget* widget = nullptr;
    QLabel* label = nullptr;
};

// The alert's colour on the conditions panel where the window's own indicator stands.
TEST_F(AlertWidgetTest, TheAlertTextIsReadableWhereTheIndicatorStands) {
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(apptest::waitFor([&] { return !text().startsWith("No"); }));
    AlertWidget* own = nullptr;
    for (QWidget* candidate : (*window)->findChildren<QWidget*>()) {
        auto* indicator = dynamic_cast<AlertWidget*>(candidate);
        own = indicator != nullptr && indicator != widget ? indicator : own;
    }
    ASSERT_NE(own, nullptr);
    QLabel* ownLabel = own->findChild<QLabel*>();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&**window));
    const QString styleSheet = ownLabel->styleSheet();
    ownLabel->setStyleSheet(label->styleSheet());  // the alert's look, in the indicator's place
    EXPECT_GE(apptest::worstContrastBehind(ownLabel), 4.5);
    ownLabel->setStyleSheet(styleSheet);
}

TEST_F(AlertWidgetTest, FeedSequenceDrivesTheIndicator) {
    EXPECT_EQ(text(), "No weather alerts");
    EXPECT_GE(label->minimumWidth(), 160);

    // A new alert: it blinks in pale yellow under a pointing hand.
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(apptest::waitFor([&] { return !text().startsWith("No"); }));
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(label->styleSheet().contains("color: rgb(255, 255, 200)"));
    EXPECT_TRUE(blinks());

    // The same feed again, then the alert issued anew: still one blinking.
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    ASSERT_TRUE(feed->update("feed_winter_storm_reissued.xml"));
    apptest::drainEvents();
    EXPECT_TRUE(blinks());

    click();
    EXPECT_EQ(currentPage(), 1);

    // Viewed: steady, and no second blink timer left running behind the first.
    (*window)->setCurrentPage(0);
    NotificationService::Instance().notify(vpcore::PROP_ALERT_VIEWED);
    ASSERT_TRUE(apptest::waitFor([&] { return text() == "Weather alert"; }));
    EXPECT_TRUE(staysFor("Weather alert"));
    EXPECT_TRUE(label->styleSheet().contains("color: rgb(255, 255, 200)"));
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);

    // A change after the alerts were viewed blinks again.
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    EXPECT_TRUE(blinks());

    // None left: idle again, and a click does nothing.
    ASSERT_TRUE(feed->update("feed_no_alerts.xml"));
    ASSERT_TRUE(apptest::waitFor([&] { return text() == "No weather alerts"; }));
    EXPECT_TRUE(staysFor("No weather alerts"));
    EXPECT_EQ(label->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(label->styleSheet().contains("color: white"));
    click();
    EXPECT_EQ(currentPage(), 0);
}

// Counts the events of one type that the widget it watches receives.
class EventCounter : public QObject {
public:
    explicit EventCounter(QEvent::Type counted) : type(counted) {}
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type) {
            ++count;
        }
        return false;
    }

private:
    QEvent::Type type;
};

TEST_F(AlertWidgetTest, ABlinkStepRepaintsTheIndicatorAloneOverASnapshotOfThePanel) {
    EventCounter panel(QEvent::Paint);
    EventCounter layouts(QEvent::LayoutRequest);
    widget->parentWidget()->installEventFilter(&panel);
    widget->installEventFilter(&layouts);
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    EXPECT_TRUE(blinks());
    ASSERT_TRUE(apptest::waitFor([&] { return text().isEmpty(); }, 3000));
    apptest::drainEvents();
    EXPECT_TRUE(widget->testAttribute(Qt::WA_OpaquePaintEvent));
    // Hidden text shows the panel as it was behind it: no dark red left.
    const QImage hidden = widget->grab().toImage();
    int red = 0;
    for (int y = 0; y < hidden.height(); ++y) {
        for (int x = 0; x < hidden.width(); ++x) {
            const QColor c = hidden.pixelColor(x, y);
            red += c.red() > 100 && c.green() < 40 && c.blue() < 40 ? 1 : 0;
        }
    }
    EXPECT_EQ(red, 0);

    // Neither the panel is repainted nor the indicator laid out again by a step.
    const int before = panel.count;
    const int layoutsBefore = layouts.count;
    const QRect place = label->geometry();
    EXPECT_TRUE(blinks());
    EXPECT_TRUE(blinks());
    EXPECT_EQ(panel.count, before);
    EXPECT_EQ(layouts.count, layoutsBefore);
    EXPECT_EQ(label->geometry(), place);

    // Steady again: drawn over the panel itself.
    ASSERT_TRUE(feed->update("feed_no_alerts.xml"));
    ASSERT_TRUE(apptest::waitFor([&] { return text() == "No weather alerts"; }));
    EXPECT_FALSE(widget->testAttribute(Qt::WA_OpaquePaintEvent));
    // And free to take the room its layout gives it.
    EXPECT_EQ(label->minimumWidth(), 160);
    EXPECT_EQ(label->maximumWidth(), QWIDGETSIZE_MAX);
    widget->removeEventFilter(&layouts);
    widget->parentWidget()->removeEventFilter(&panel);
}

TEST_F(AlertWidgetTest, ClickWhenTheModelHasNoAlertsAnyMoreResetsTheIndicator) {
    // The event arrives while the model holds nothing (its feed was never read).
    std::thread runner([] { NotificationService::Instance().notify(vpcore::PROP_ALERTS_CHANGED); });
    runner.join();
    ASSERT_TRUE(blinks());

    click();
    EXPECT_EQ(currentPage(), 0);
    EXPECT_EQ(text(), "No weather alerts");
    EXPECT_TRUE(staysFor("No weather alerts"));
}

TEST_F(AlertWidgetTest, DestroyedIndicatorHearsNothingAndLeavesTheViewedEventRegistered) {
    delete widget;
    widget = nullptr;
    EXPECT_EQ(
        NotificationService::Instance().getRegisteredPropertyIds().count(vpcore::PROP_ALERT_VIEWED),
        1u);
    // Would reach freed memory if the indicator were still listening.
    ASSERT_TRUE(feed->update("feed_winter_storm.xml"));
    NotificationService::Instance().notify(vpcore::PROP_ALERT_VIEWED);
    apptest::drainEvents();
}

}  // namespace
