#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "widgets/LocationWidget.h"
#include "widgets/QPairListModel.h"
#include "widgets/VPDataEvent.h"
#include "widgets/VPLabel.h"
#include "widgets/VPLinkLabel.h"
#include "widgets/VPStatusBar.h"

namespace {

TEST(VPLabelTest, TextPostedFromAWorkerThreadIsSet) {
    VPLabel label(nullptr);
    std::thread worker(
        [&label] { QCoreApplication::postEvent(&label, new VPDataEventQString("72 F")); });
    worker.join();
    ASSERT_TRUE(apptest::waitFor([&] { return label.text() == "72 F"; }));
}

TEST(VPLinkLabelTest, OnlyALeftClickOnAnActiveLinkEmitsClicked) {
    struct Case {
        bool active;
        Qt::MouseButton button;
        int clicks;
    };
    const Case cases[] = {{true, Qt::LeftButton, 1},
                          {false, Qt::LeftButton, 0},
                          {true, Qt::RightButton, 0},
                          {false, Qt::RightButton, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "active " << c.active << " button " << c.button);
        VPLinkLabel link(nullptr);
        link.setLinkStyle(false);
        link.setLinkStyle(c.active);
        QSignalSpy spy(&link, &VPLinkLabel::clicked);
        QTest::mousePress(&link, c.button);
        ASSERT_EQ(spy.count(), c.clicks);
        if (c.clicks == 1) {
            EXPECT_EQ(spy.at(0).at(0).value<VPLinkLabel*>(), &link);
        }
        EXPECT_EQ(link.isLinkActive(), c.active);
        EXPECT_EQ(link.cursor().shape(), c.active ? Qt::PointingHandCursor : Qt::ArrowCursor);
        EXPECT_TRUE(link.styleSheet().contains(c.active ? "color: blue" : "color: gray"));
        EXPECT_EQ(link.testAttribute(Qt::WA_ForceDisabled), !c.active);
    }
}

TEST(VPLinkLabelTest, LinkEventSetsVisibilityAddressAndText) {
    QWidget parent;
    auto* link = new VPLinkLabel(&parent);
    parent.show();
    QCoreApplication::postEvent(
        link, new VPLinkLabel::VPLinkLabelEvent({false, "http://127.0.0.1/a", "Station details"}));
    ASSERT_TRUE(apptest::waitFor([&] { return link->url() == "http://127.0.0.1/a"; }));
    EXPECT_FALSE(link->isVisible());
    EXPECT_EQ(link->text(), "Station details");

    QCoreApplication::postEvent(link,
                                new VPLinkLabel::VPLinkLabelEvent({true, "http://b/", "Other"}));
    ASSERT_TRUE(apptest::waitFor([&] { return link->isVisible(); }));
    EXPECT_EQ(link->url(), "http://b/");
    EXPECT_EQ(link->text(), "Other");
}

TEST(VPLinkLabelTest, LinkEventWithoutTextKeepsThePicture) {
    VPLinkLabel link(nullptr);
    QImage logo(8, 8, QImage::Format_RGB32);
    logo.fill(Qt::red);
    link.setPixmap(QPixmap::fromImage(logo));
    QCoreApplication::postEvent(&link, new VPLinkLabel::VPLinkLabelEvent({true, "http://c/", ""}));
    ASSERT_TRUE(apptest::waitFor([&] { return link.url() == "http://c/"; }));
    EXPECT_FALSE(link.pixmap().isNull());
}

TEST(VPStatusBarTest, PassingMessageVanishesAfterFiveSeconds) {
    VPStatusBar bar(nullptr);
    apptest::MessageBoxRecorder boxes;
    QElapsedTimer timer;
    timer.start();
    QCoreApplication::postEvent(&bar, new VPDataEventStatusMessage({"Could not update.", 0}));
    ASSERT_TRUE(apptest::waitFor([&] { return bar.currentMessage() == "Could not update."; }));
    ASSERT_TRUE(apptest::waitFor([&] { return bar.currentMessage().isEmpty(); }, 15000));
    // Coarse timers may fire up to 5 % early.
    EXPECT_GE(timer.elapsed(), 4700);
    EXPECT_TRUE(boxes.boxes.empty());
}

// A standing message shows whenever nothing passing does: passing messages and task
// descriptions cover it for their time, and it is back after them until it is cleared.
TEST(VPStatusBarTest, AStandingMessageOutlastsPassingOnes) {
    VPStatusBar bar(nullptr);
    bar.resize(700, 22);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    auto* standing = bar.findChild<QLabel*>("standingMessage");
    ASSERT_NE(standing, nullptr);
    EXPECT_FALSE(standing->isVisible());
    const auto shown = [&] {
        return !bar.currentMessage().isEmpty()
                   ? bar.currentMessage()
                   : (standing->isVisible() ? standing->text() : QString());
    };

    const QString waiting =
        "The weather service did not answer for Austin, TX. Ombrix keeps trying.";
    bar.setStandingMessage(waiting);
    EXPECT_EQ(shown(), waiting);

    bar.showMessage("Could not update current weather. ", 200);
    EXPECT_EQ(shown(), "Could not update current weather. ");
    EXPECT_FALSE(standing->isVisible());
    ASSERT_TRUE(apptest::waitFor([&] { return shown() == waiting; }));

    QCoreApplication::postEvent(&bar, new VPDataEventProgressInfo({"Updating forecast", 1}));
    ASSERT_TRUE(apptest::waitFor([&] { return shown() == "Updating forecast"; }));
    // Set anew while covered: it waits under the description.
    bar.setStandingMessage(waiting + " ");
    EXPECT_FALSE(standing->isVisible());
    QCoreApplication::postEvent(&bar, new VPDataEventProgressInfo({"", 0}));
    ASSERT_TRUE(apptest::waitFor([&] { return shown() == waiting + " "; }));

    bar.setStandingMessage(QString());
    EXPECT_EQ(shown(), "");
    bar.showMessage("passing", 100);
    ASSERT_TRUE(apptest::waitFor([&] { return bar.currentMessage().isEmpty(); }));
    apptest::drainEvents();
    EXPECT_FALSE(standing->isVisible()) << "a cleared standing message stays away";
}

TEST(VPStatusBarTest, PopupMessageOpensABoxTitledWithTheApplicationName) {
    VPStatusBar bar(nullptr);
    apptest::MessageBoxRecorder boxes;
    QCoreApplication::postEvent(&bar, new VPDataEventStatusMessage({"No network.", 1}));
    ASSERT_TRUE(apptest::waitFor([&] { return boxes.boxes.size() == 1; }));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes.boxes[0].title, "Ombrix");
    EXPECT_EQ(boxes.boxes[0].text, "No network.");
    EXPECT_TRUE(bar.currentMessage().isEmpty());
}

TEST(VPStatusBarTest, ProgressShowsABusyIndicatorUntilItStops) {
    VPStatusBar bar(nullptr);
    QProgressBar* progress = bar.progressBarWidget();
    EXPECT_EQ(progress->maximumWidth(), 200);

    QCoreApplication::postEvent(&bar, new VPDataEventProgressInfo({"Updating forecast", 1}));
    ASSERT_TRUE(apptest::waitFor([&] { return bar.currentMessage() == "Updating forecast"; }));
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 0);

    // An unknown state changes nothing.
    QCoreApplication::postEvent(&bar, new VPDataEventProgressInfo({"", 7}));
    apptest::drainEvents();
    EXPECT_EQ(bar.currentMessage(), "Updating forecast");
    EXPECT_EQ(progress->maximum(), 0);

    QCoreApplication::postEvent(&bar, new VPDataEventProgressInfo({"", 0}));
    ASSERT_TRUE(apptest::waitFor([&] { return bar.currentMessage().isEmpty(); }));
    EXPECT_EQ(progress->maximum(), -1);
    EXPECT_EQ(progress->minimum(), -1);
    EXPECT_EQ(progress->value(), progress->minimum() - 1);
}

// A task that fails reports its message before its end of progress: the end of progress
// clears only the task's own description, never a message that came after it.
TEST(VPStatusBarTest, TheEndOfProgressLeavesAFailureMessageShown) {
    struct Report {
        bool progress;  // a progress report, else a passing message
        const char* text;
        int state;
    };
    const struct {
        const char* name;
        std::vector<Report> reports;
        QString shown;
    } cases[] = {
        {"failure of a task without a busy indicator",
         {{false, "Could not update current weather. ", 0}, {true, "", 0}},
         "Could not update current weather. "},
        {"failure while the busy indicator runs",
         {{true, "Updating current conditions", 1},
          {false, "Could not update current weather. ", 0},
          {true, "", 0}},
         "Could not update current weather. "},
        {"a task that ends well", {{true, "Updating current conditions", 1}, {true, "", 0}}, ""},
        {"a new task's description replaces an old message",
         {{false, "Could not update current weather. ", 0},
          {true, "Updating forecast", 1},
          {true, "", 0}},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VPStatusBar bar(nullptr);
        for (const Report& report : c.reports) {
            if (report.progress) {
                QCoreApplication::postEvent(
                    &bar, new VPDataEventProgressInfo({report.text, report.state}));
            } else {
                QCoreApplication::postEvent(
                    &bar, new VPDataEventStatusMessage({report.text, report.state}));
            }
        }
        apptest::drainEvents();
        EXPECT_EQ(bar.currentMessage(), c.shown);
        EXPECT_EQ(bar.progressBarWidget()->maximum(), -1);
    }
}

TEST(QPairListModelTest, RowsTextsAndValues) {
    QPairListModel model(nullptr);
    EXPECT_EQ(model.rowCount(QModelIndex()), 0);
    model.setPairs({{"A", "a"}, {"B", "b"}, {"B again", "b"}});
    EXPECT_EQ(model.rowCount(QModelIndex()), 3);
    EXPECT_EQ(model.data(model.index(1), Qt::DisplayRole).toString(), "B");
    EXPECT_FALSE(model.data(model.index(1), Qt::EditRole).isValid());
    EXPECT_FALSE(model.data(model.index(3), Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.data(QModelIndex(), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.valueAt(1), "b");
    EXPECT_EQ(model.indexOfValue("b"), 1);
    EXPECT_EQ(model.indexOfValue("c"), -1);
    EXPECT_EQ(model.indexOfValue("B"), -1);

    model.setPairs({{"C", "c"}});
    EXPECT_EQ(model.rowCount(QModelIndex()), 1);
    EXPECT_EQ(model.indexOfValue("c"), 0);
}

TEST(LocationWidgetTest, ShowsTheInvitationUntilALocationIsPublished) {
    apptest::registerCurrentLocationId();
    LocationWidget banner(nullptr);
    banner.setLabelMinimumSize(350, 22);
    auto* label = banner.labelWidget()->textLabel();
    ASSERT_TRUE(apptest::waitFor(
        [&] { return label->text() == "< CLICK HERE TO SET YOUR WEATHER LOCATION >"; }));
    EXPECT_EQ(banner.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(banner.labelWidget()->property("playsound").toString(), "drop");
    EXPECT_GE(banner.labelWidget()->minimumWidth(), 350);
    EXPECT_GE(banner.minimumSizeHint().width(), 350);

    const std::string before = "< CLICK HERE TO SET YOUR WEATHER LOCATION >";
    const std::string after = "Austin, TX";
    vpcore::NotificationService::Instance().notify<std::string>(vpcore::PROP_CURRENT_LOCATION,
                                                                &before, &after);
    ASSERT_TRUE(apptest::waitFor([&] { return label->text() == "Austin, TX"; }));

    // A press of any button is told, and the banner opens nothing itself: the main window
    // decides (options_tests drive that).
    QSignalSpy clicks(&banner, &LocationWidget::clicked);
    QTest::mouseClick(&banner, Qt::LeftButton);
    QTest::mouseClick(&banner, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The invitation is the banner's own text: the current location's other listeners never get it.
TEST(LocationWidgetTest, TheInvitationIsNotPublishedAsALocation) {
    apptest::registerCurrentLocationId();
    struct Listener : vpcore::IPropertyChangeListener<std::string> {
        std::vector<std::string> seen;
        void handlePropertyChange(short, const std::string* const,
                                  const std::string* const newValue) override {
            seen.push_back(*newValue);
        }
    } listener;
    vpcore::NotificationService::Instance().addPropertyChangeListener<std::string>(
        &listener, {vpcore::PROP_CURRENT_LOCATION});
    {
        LocationWidget banner(nullptr);
        EXPECT_EQ(banner.labelWidget()->textLabel()->text(),
                  "< CLICK HERE TO SET YOUR WEATHER LOCATION >");
    }
    vpcore::NotificationService::Instance().removePropertyChangeListener<std::string>(
        &listener, {vpcore::PROP_CURRENT_LOCATION});
    EXPECT_TRUE(listener.seen.empty());
}

}  // namespace
