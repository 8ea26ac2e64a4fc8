#include <gtest/gtest.h>

#include <limits>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "LogCapture.h"
#include "display/TempEngViewModel.h"
#include "display/TempMetricViewModel.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "tray/VesparoTray.h"
#include "widgets/VPDataEvent.h"

using vpcore::NotificationService;

namespace {

QImage iconImage(const VesparoTray& tray) {
    return tray.icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_RGB32);
}

QImage rendered(const QString& text, Qt::GlobalColor background) {
    return VesparoTray::renderIcon(text, background)
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QRgb backgroundOf(const VesparoTray& tray) {
    return iconImage(tray).pixel(0, 0);
}

// Registers the ids that no publisher has registered yet, and returns those.
std::set<short> registerMissingIds(const std::set<short>& ids) {
    auto& service = NotificationService::Instance();
    std::set<short> added;
    for (short id : ids) {
        if (service.getRegisteredPropertyIds().count(id) == 0) {
            service.registerPropertyIds({id});
            added.insert(id);
        }
    }
    return added;
}

// Notifies from a worker thread, as the scheduler's runner does.
void notifyTemperature(short id, float value) {
    std::thread runner([id, value] {
        const float old = value - 100.0f;
        NotificationService::Instance().notify<float>(id, &old, &value);
    });
    runner.join();
}

void notifyEvents(const std::vector<short>& ids) {
    std::thread runner([&ids] {
        for (short id : ids) {
            NotificationService::Instance().notify(id);
        }
    });
    runner.join();
}

TEST(VesparoTrayIconTest, DrawsTheTextInBlackCentredOnTheBackground) {
    const struct {
        const char* text;
        Qt::GlobalColor background;
    } cases[] = {{"NA", Qt::white}, {"73", Qt::red}, {"-12", Qt::white}, {"100", Qt::red}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QImage image = rendered(c.text, c.background);
        ASSERT_EQ(image.size(), QSize(16, 16));
        const QRgb background = QColor(c.background).rgb();
        for (const QPoint corner : {QPoint(0, 0), QPoint(15, 0), QPoint(0, 15), QPoint(15, 15)}) {
            EXPECT_EQ(image.pixel(corner), background);
        }
        // The dark pixels of the glyphs lie around the middle.
        int dark = 0;
        int sumX = 0;
        int sumY = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QColor colour(image.pixel(x, y));
                if (colour.red() < 90 && colour.green() < 90 && colour.blue() < 90) {
                    ++dark;
                    sumX += x;
                    sumY += y;
                }
            }
        }
        ASSERT_GT(dark, 5);
        EXPECT_NEAR(sumX / double(dark), 7.5, 2.5);
        EXPECT_NEAR(sumY / double(dark), 7.5, 2.5);
    }
    // The digits themselves are drawn: different numbers give different pictures.
    EXPECT_NE(rendered("72", Qt::white), rendered("73", Qt::white));
    EXPECT_NE(rendered("-7", Qt::white), rendered("7", Qt::white));
}

TEST(VesparoTrayIconTest, FontIsBoldCourierNewAndSmallerFromThreeCharacters) {
    const std::pair<const char*, int> cases[] = {{"NA", 10}, {"7", 10},  {"73", 10}, {"-7", 10},
                                                 {"-12", 7}, {"100", 7}, {"-100", 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const QFont font = VesparoTray::iconFont(c.first);
        EXPECT_EQ(font.family(), "Courier New");
        EXPECT_EQ(font.pointSize(), c.second);
        EXPECT_TRUE(font.bold());
        EXPECT_FALSE(font.italic());
    }
}

TEST(VesparoTrayTest, RoundsHalvesAwayFromZero) {
    const std::pair<float, const char*> cases[] = {
        {72.5f, "73"},
        {72.4f, "72"},
        {2.5f, "3"},
        {-2.5f, "-3"},
        {-2.4f, "-2"},
        {0.0f, "0"},
        {-0.4f, "0"},
        {0.4f, "0"},
        {99.6f, "100"},
        {-11.5f, "-12"},
        // No reading, and what no int holds (the conversion would be undefined).
        {std::numeric_limits<float>::quiet_NaN(), "NA"},
        {1e30f, "NA"},
        {-std::numeric_limits<float>::infinity(), "NA"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(formatFloat(c.first), c.second);
    }
}

class VesparoTrayModelsTest : public ::testing::Test {
protected:
    // The publishers of these ids are the core's models, which the location service makes
    // once per process: the ids this suite adds it takes back.
    static void SetUpTestSuite() {
        addedIds = registerMissingIds({vpcore::PROP_TEMP_F, vpcore::PROP_TEMP_C,
                                       vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERTS_EXPIRED,
                                       vpcore::PROP_ALERT_VIEWED, vpcore::PROP_CURRENT_LOCATION});
    }
    static void TearDownTestSuite() {
        if (!addedIds.empty()) {
            NotificationService::Instance().unRegisterPropertyIds(addedIds);
        }
    }
    void SetUp() override {
        back.setActive(false);
        tray = std::make_unique<VesparoTray>(&window, &front, &back);
    }
    void TearDown() override { tray.reset(); }

    bool shows(const QString& text, Qt::GlobalColor background) {
        return iconImage(*tray) == rendered(text, background);
    }

    static std::set<short> addedIds;

    // Declared before the tray: the models go after it, as in the main window.
    QWidget window;
    vpcore::TempEngViewModel front;
    vpcore::TempMetricViewModel back;
    std::unique_ptr<VesparoTray> tray;
};

std::set<short> VesparoTrayModelsTest::addedIds;

TEST(VesparoTrayIconTest, ToolTipNamesThePlaceAndItsTemperatureInTheUnitShown) {
    struct Case {
        const char* location;
        const char* temperature;
        bool fahrenheit;
        const char* expected;
    };
    const Case cases[] = {
        {"Austin, TX", "73", true, "Ombrix\nAustin, TX: 73 \u00b0F"},
        {"Denver, CO", "-12", false, "Ombrix\nDenver, CO: -12 \u00b0C"},
        {"Austin, TX", "NA", true, "Ombrix\nAustin, TX: no temperature yet"},
        {"Austin, TX", "", false, "Ombrix\nAustin, TX: no temperature yet"},
        {"", "73", true, "Ombrix\nNo location chosen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(VesparoTray::toolTipText(c.location, c.temperature, c.fahrenheit),
                  QString::fromUtf8(c.expected));
    }
}

// Announces a current location from a worker thread, as the location service may.
void notifyLocation(const std::string& name, const std::string& before = std::string()) {
    std::thread runner([name, before] {
        NotificationService::Instance().notify<std::string>(vpcore::PROP_CURRENT_LOCATION, &before,
                                                            &name);
    });
    runner.join();
}

TEST_F(VesparoTrayModelsTest, ToolTipFollowsTheLocationAndTheTemperature) {
    EXPECT_EQ(tray->toolTip(), "Ombrix\nNo location chosen");
    notifyLocation("Austin, TX");
    ASSERT_TRUE(apptest::waitFor(
        [&] { return tray->toolTip() == "Ombrix\nAustin, TX: no temperature yet"; }));
    notifyTemperature(vpcore::PROP_TEMP_F, 72.5f);
    ASSERT_TRUE(apptest::waitFor(
        [&] { return tray->toolTip() == QString::fromUtf8("Ombrix\nAustin, TX: 73 \u00b0F"); }));
    back.setActive(true);
    front.setActive(false);
    notifyTemperature(vpcore::PROP_TEMP_C, 22.5f);
    ASSERT_TRUE(apptest::waitFor(
        [&] { return tray->toolTip() == QString::fromUtf8("Ombrix\nAustin, TX: 23 \u00b0C"); }));
    // The location service announces an empty name once the current location is deleted.
    notifyLocation("", "Austin, TX");
    ASSERT_TRUE(apptest::waitFor([&] { return tray->toolTip() == "Ombrix\nNo location chosen"; }));
    back.setActive(false);
    front.setActive(true);
}

TEST_F(VesparoTrayModelsTest, StartsWithNAOnWhite) {
    EXPECT_TRUE(shows("NA", Qt::white));
    EXPECT_EQ(backgroundOf(*tray), QColor(Qt::white).rgb());
}

TEST_F(VesparoTrayModelsTest, FollowsTheUnitOfTheFaceThatShows) {
    notifyTemperature(vpcore::PROP_TEMP_F, 72.5f);
    ASSERT_TRUE(apptest::waitFor([&] { return shows("73", Qt::white); }));
    // Celsius while the Fahrenheit face shows: ignored.
    notifyTemperature(vpcore::PROP_TEMP_C, 22.5f);
    apptest::drainEvents();
    EXPECT_TRUE(shows("73", Qt::white));

    // The gauge flips: at once the Celsius model's value, then only Celsius changes count.
    back.setActive(true);
    front.setActive(false);
    EXPECT_TRUE(shows("23", Qt::white));
    notifyTemperature(vpcore::PROP_TEMP_F, -40.0f);
    notifyTemperature(vpcore::PROP_TEMP_C, -11.6f);
    ASSERT_TRUE(apptest::waitFor([&] { return shows("-12", Qt::white); }));

    back.setActive(false);
    front.setActive(true);
    EXPECT_TRUE(shows("-40", Qt::white));
}

TEST_F(VesparoTrayModelsTest, NoReadingShowsNAAgain) {
    notifyTemperature(vpcore::PROP_TEMP_F, 72.5f);
    ASSERT_TRUE(apptest::waitFor([&] { return shows("73", Qt::white); }));
    notifyTemperature(vpcore::PROP_TEMP_F, std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(apptest::waitFor([&] { return shows("NA", Qt::white); }));
}

TEST_F(VesparoTrayModelsTest, AlertEventsSetTheBackground) {
    const QRgb white = QColor(Qt::white).rgb();
    const QRgb red = QColor(Qt::red).rgb();
    struct Case {
        std::vector<short> ids;
        QRgb background;
    };
    const Case cases[] = {
        {{vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERT_VIEWED}, red},
        {{vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERTS_EXPIRED}, white},
        {{vpcore::PROP_ALERT_VIEWED}, white},
        {{vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERT_VIEWED, vpcore::PROP_ALERTS_EXPIRED},
         white},
        {{vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERT_VIEWED},
         red},
    };
    // One tray per case, all at once, so that one wait shows that none of them blinks on.
    std::vector<std::unique_ptr<VesparoTray>> trays;
    for (const Case& c : cases) {
        trays.push_back(std::make_unique<VesparoTray>(&window, &front, &back));
        for (short id : c.ids) {
            QCoreApplication::postEvent(trays.back().get(), new VPPropertyChange(id));
        }
    }
    apptest::drainEvents();
    for (size_t i = 0; i < trays.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "events " << testing::PrintToString(cases[i].ids));
        EXPECT_EQ(backgroundOf(*trays[i]), cases[i].background);
    }
    apptest::waitFor([] { return false; }, 1400);
    for (size_t i = 0; i < trays.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "events " << testing::PrintToString(cases[i].ids));
        EXPECT_EQ(backgroundOf(*trays[i]), cases[i].background);
    }
    trays.clear();
    // The last tray made took the models' delegates; the fixture's tray takes them back.
    tray = std::make_unique<VesparoTray>(&window, &front, &back);
}

TEST_F(VesparoTrayModelsTest, NewAlertsBlinkBetweenWhiteAndRed) {
    notifyTemperature(vpcore::PROP_TEMP_F, 50.0f);
    notifyEvents({vpcore::PROP_ALERTS_CHANGED});
    ASSERT_TRUE(apptest::waitFor([&] { return shows("50", Qt::red); }));
    ASSERT_TRUE(apptest::waitFor([&] { return shows("50", Qt::white); }));
    ASSERT_TRUE(apptest::waitFor([&] { return shows("50", Qt::red); }));
    // Other ids reach the tray's event handler and change nothing.
    QCoreApplication::postEvent(tray.get(), new VPPropertyChange(vpcore::PROP_ALERT_NEW));
    notifyEvents({vpcore::PROP_ALERT_VIEWED});
    ASSERT_TRUE(apptest::waitFor([&] { return shows("50", Qt::red); }));
}

TEST_F(VesparoTrayModelsTest, OnlyAPlainClickOrOpenShowTheWindow) {
    const std::pair<QSystemTrayIcon::ActivationReason, bool> cases[] = {
        {QSystemTrayIcon::DoubleClick, false},
        {QSystemTrayIcon::Context, false},
        {QSystemTrayIcon::MiddleClick, false},
        {QSystemTrayIcon::Trigger, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        window.hide();
        emit tray->activated(c.first);
        EXPECT_EQ(window.isVisible(), c.second);
    }

    QMenu* menu = tray->contextMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), "Open Ombrix");
    EXPECT_EQ(actions[1]->text(), "Exit");
    window.hide();
    actions[0]->trigger();
    EXPECT_TRUE(window.isVisible());
    window.hide();
}

TEST_F(VesparoTrayModelsTest, MenuOfATrayWithoutAParentWidgetGoesWithTheTray) {
    QObject owner;
    auto* orphan = new VesparoTray(&owner, &front, &back);
    ASSERT_NE(orphan->contextMenu(), nullptr);
    EXPECT_EQ(orphan->contextMenu()->parent(), nullptr);
    // Freed with the tray (a leak under AddressSanitizer otherwise).
    delete orphan;
}

TEST_F(VesparoTrayModelsTest, ExitEndsTheEventLoop) {
    testsupport::LogCapture log;
    QAction* exit = tray->contextMenu()->actions().at(1);
    QTimer::singleShot(0, exit, &QAction::trigger);
    // Should Exit not end the loop, this ends it with another code. It goes with the test:
    // left pending, it would end an event loop of a later test in the same process.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    fallback.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(log.contains("INFO: Vesparo exiting from system tray."));
}

TEST_F(VesparoTrayModelsTest, ADestroyedTrayHearsNoMoreAlerts) {
    tray.reset();
    notifyEvents({vpcore::PROP_ALERTS_CHANGED, vpcore::PROP_ALERT_VIEWED});
    apptest::drainEvents();
    tray = std::make_unique<VesparoTray>(&window, &front, &back);
    EXPECT_TRUE(shows("NA", Qt::white));
}

}  // namespace

TEST_F(VesparoTrayModelsTest, ABlinkSwapsTheTwoIconsOfTheTextWithoutDrawingThemAgain) {
    notifyTemperature(vpcore::PROP_TEMP_F, 61.0f);
    notifyEvents({vpcore::PROP_ALERTS_CHANGED});
    ASSERT_TRUE(apptest::waitFor([&] { return shows("61", Qt::red); }));
    const qint64 red = tray->icon().cacheKey();
    ASSERT_TRUE(apptest::waitFor([&] { return shows("61", Qt::white); }));
    const qint64 white = tray->icon().cacheKey();
    EXPECT_NE(red, white);
    ASSERT_TRUE(apptest::waitFor([&] { return shows("61", Qt::red); }));
    EXPECT_EQ(tray->icon().cacheKey(), red);
    ASSERT_TRUE(apptest::waitFor([&] { return shows("61", Qt::white); }));
    EXPECT_EQ(tray->icon().cacheKey(), white);
    // A new temperature makes new icons, and the blink goes on with them.
    notifyTemperature(vpcore::PROP_TEMP_F, 62.0f);
    ASSERT_TRUE(apptest::waitFor([&] { return shows("62", Qt::red); }));
    ASSERT_TRUE(apptest::waitFor([&] { return shows("62", Qt::white); }));
    EXPECT_NE(tray->icon().cacheKey(), white);
    notifyEvents({vpcore::PROP_ALERTS_EXPIRED});
}
