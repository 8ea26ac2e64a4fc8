#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <thread>

#include "AppTestSupport.h"
#include "FramelessWindowChecks.h"
#include "LogCapture.h"
#include "base/Settings.h"
#include "forecast/ForecastPanel.h"
#include "services/FileService.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/StatusService.h"
#include "shell/Vesparo.h"
#include "tray/VesparoTray.h"
#include "weather/ForecastModel.h"
#include "weather/IWeatherInfoProvider.h"
#include "weather/LocationService.h"
#include "widgets/VPStatusBar.h"

namespace {

using vpcore::Location_t;
using vpcore::LocationService;

QList<QVariant> savedLocation(const QString& zip, const QString& name) {
    return {zip, "TXC453", "KATT", "Austin Camp Mabry", "EWX", "Austin/San Antonio", name};
}

std::vector<std::string> locationNames() {
    std::vector<Location_t> locations;
    LocationService::Instance().getLocations(locations);
    std::vector<std::string> names;
    for (const Location_t& location : locations) {
        names.push_back(location.displayName);
    }
    return names;
}

// Each test starts from an empty profile but for the installed version, which the first
// start of the process writes; the process keeps one user data folder.
class VesparoTest : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::clearSettingsButVersion();
        withdrawOncePerProcessIds();
    }
    void TearDown() override {
        apptest::clearSettingsButVersion();
        withdrawOncePerProcessIds();
    }

    // The location service keeps its current location for the process, and nothing forgets
    // it: a test that needs none cannot run after one that chose one (ctest gives each test a
    // process of its own, so there it always runs).
    static bool anEarlierTestChoseALocation() {
        return LocationService::Instance().getCurrentLocation() != nullptr;
    }

    // The comfort level and the alert indicator admit their property once per process and
    // keep it; each test's main window builds new ones, whatever ran before.
    static void withdrawOncePerProcessIds() {
        auto& service = vpcore::NotificationService::Instance();
        for (short id : {vpcore::PROP_DEWPOINT_COMFORT_LEVEL, vpcore::PROP_ALERT_VIEWED}) {
            if (service.getRegisteredPropertyIds().count(id) != 0) {
                service.unRegisterPropertyIds({id});
            }
        }
    }

    // Lines of the log from the version line on (other lines may come from the core).
    std::vector<std::string> ownLogLines() const {
        std::vector<std::string> own;
        for (const std::string& line : log.lines()) {
            if (line.find("INFO: Ombrix") != std::string::npos ||
                line.find("INFO: User Data Dir:") != std::string::npos) {
                own.push_back(line.substr(line.find("INFO: ")));
            }
        }
        return own;
    }

    testsupport::LogCapture log;
    apptest::MessageBoxRecorder boxes;
};

TEST_F(VesparoTest, AFreshProfileStartsWithoutALocationAndWithoutAMessage) {
    if (anEarlierTestChoseALocation()) {
        GTEST_SKIP() << "an earlier test of this process chose a current location";
    }
    Vesparo window(nullptr);
    const std::string folder = Vesparo::userDataDir();
    EXPECT_EQ(ownLogLines(), (std::vector<std::string>{"INFO: Ombrix version 2.0 initializing...",
                                                       "INFO: User Data Dir:" + folder,
                                                       "INFO: Ombrix init complete."}));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(LocationService::Instance().getCurrentLocation(), nullptr);
    EXPECT_TRUE(locationNames().empty());

    EXPECT_EQ(Vesparo::instance(), &window);
    EXPECT_EQ(window.windowTitle(), "Ombrix");
    EXPECT_EQ(window.size(), QSize(800, 650));
    const QRect desktop = window.screen()->availableGeometry();
    EXPECT_EQ(window.pos(), QPoint(desktop.x() + (desktop.width() - 800) / 2,
                                   desktop.y() + (desktop.height() - 650) / 2));
    EXPECT_EQ(QCoreApplication::applicationName(), "Ombrix");
    EXPECT_EQ(QCoreApplication::organizationName(), "Ombrix");
    // Qt's own plugin folder is kept behind the program's.
    EXPECT_EQ(QCoreApplication::libraryPaths().first(),
              QCoreApplication::applicationDirPath() + "/");
    EXPECT_GT(QCoreApplication::libraryPaths().size(), 2);
}

TEST_F(VesparoTest, TheUserDataFolderHoldsTheSettingsTheLogAndTheInstalledVersion) {
    Vesparo window(nullptr);
    const std::string folder = Vesparo::userDataDir();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder, qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/Ombrix/");
    EXPECT_EQ(QSettings().fileName().toStdString(), folder + "Ombrix.ini");
    EXPECT_EQ(QSettings().value("Ombrix").toString(), "2.0");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "Ombrix.log")));
    EXPECT_EQ(vpcore::FileService::Instance().getApplicationDataPath(), folder);
    EXPECT_EQ(vpcore::FileService::Instance().getInstallPath(),
              QCoreApplication::applicationDirPath().toStdString());
}

// The folder is decided once and asked for from any thread (a fatal error on a worker) without
// touching anything: the file service keeps what the start-up gave it.
TEST_F(VesparoTest, TheUserDataFolderIsTheSameOnEveryThreadAndChangesNothing) {
    auto& files = vpcore::FileService::Instance();
    const std::string dataPath = files.getApplicationDataPath();
    const std::string installPath = files.getInstallPath();
    files.setApplicationDataPath("/elsewhere/");
    files.setInstallPath("/opt/elsewhere");
    const std::string expected = Vesparo::userDataDir();
    std::atomic<int> same{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            static_cast<void>(files.getApplicationDataPath());
        }
    });
    std::vector<std::thread> askers;
    for (int t = 0; t < 4; ++t) {
        askers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                same += Vesparo::userDataDir() == expected ? 1 : 0;
            }
        });
    }
    for (std::thread& asker : askers) {
        asker.join();
    }
    stop = true;
    reader.join();
    EXPECT_EQ(same, 800);
    EXPECT_EQ(files.getApplicationDataPath(), "/elsewhere/");
    EXPECT_EQ(files.getInstallPath(), "/opt/elsewhere");
    EXPECT_EQ(expected, qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/Ombrix/");
    files.setApplicationDataPath(dataPath);
    files.setInstallPath(installPath);
}

TEST_F(VesparoTest, SavedLocationsAreRestoredInOrder) {
    if (anEarlierTestChoseALocation()) {
        GTEST_SKIP() << "an earlier test of this process chose a current location";
    }
    QList<QVariant> saved = savedLocation("78701", "Austin, TX");
    saved += savedLocation("78610", "Buda, TX");
    setSetting("ALL_LOCATIONS", saved);
    Vesparo window(nullptr);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(locationNames(), (std::vector<std::string>{"Austin, TX", "Buda, TX"}));
    std::vector<Location_t> locations;
    LocationService::Instance().getLocations(locations);
    EXPECT_EQ(locations[1].zipCode, "78610");
    EXPECT_EQ(locations[1].alertCode, "TXC453");
    EXPECT_EQ(locations[1].stationId, "KATT");
    EXPECT_EQ(locations[1].stationName, "Austin Camp Mabry");
    EXPECT_EQ(locations[1].radarId, "EWX");
    EXPECT_EQ(locations[1].radarName, "Austin/San Antonio");
    EXPECT_EQ(LocationService::Instance().getCurrentLocation(), nullptr);
}

TEST_F(VesparoTest, AMalformedLocationListIsReportedAndKept) {
    QList<QVariant> saved = savedLocation("78701", "Austin, TX");
    saved += savedLocation("78610", "Buda, TX");
    saved.removeLast();
    setSetting("ALL_LOCATIONS", saved);
    Vesparo window(nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes.boxes[0].title, "");
    EXPECT_TRUE(boxes.boxes[0].text.contains("saved locations could not be read"));
    EXPECT_TRUE(boxes.boxes[0].text.contains("13 entries"));
    EXPECT_TRUE(locationNames().empty());
    EXPECT_TRUE(log.contains("init complete."));
    // Nothing is lost: the stored list stays until the user saves new locations.
    bool found = false;
    EXPECT_EQ(readSetting<QList<QVariant>>("ALL_LOCATIONS", found), saved);
}

TEST_F(VesparoTest, AnUnknownCurrentLocationIsReportedAndKept) {
    if (anEarlierTestChoseALocation()) {
        GTEST_SKIP() << "an earlier test of this process chose a current location";
    }
    setSetting("ALL_LOCATIONS", savedLocation("78701", "Austin, TX"));
    setSetting("CURRENT_LOCATION", "Springfield, ZZ");
    Vesparo window(nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
    EXPECT_TRUE(boxes.boxes[0].text.contains("\"Springfield, ZZ\""));
    EXPECT_EQ(LocationService::Instance().getCurrentLocation(), nullptr);
    EXPECT_EQ(locationNames(), std::vector<std::string>{"Austin, TX"});
    EXPECT_EQ(QSettings().value("CURRENT_LOCATION").toString(), "Springfield, ZZ");
    EXPECT_TRUE(log.contains("init complete."));
}

TEST_F(VesparoTest, StatusMessagesFromAWorkerReachTheStatusBar) {
    Vesparo window(nullptr);
    std::thread worker([] {
        vpcore::StatusService::Instance().update({"Could not update current weather. ", 0});
    });
    worker.join();
    ASSERT_TRUE(apptest::waitFor([&] {
        return window.statusBar()->currentMessage() == "Could not update current weather. ";
    }));
    window.onProgress({"Updating forecast", 1});
    ASSERT_TRUE(apptest::waitFor(
        [&] { return window.statusBar()->currentMessage() == "Updating forecast"; }));
    EXPECT_EQ(window.statusBar()->geometry(), QRect(40, 630, 720, 22));
}

TEST_F(VesparoTest, TheMainWindowKeepsItsSize) {
    Vesparo window(nullptr);
    apptest::expectAFixedWellShapedWindow(window, QSize(800, 650), "Ombrix");
}

// Escape dismisses pop-ups; pressed in the main window, on it or on one of its widgets, it
// leaves the window (and so the program) running.
TEST_F(VesparoTest, EscapeLeavesTheMainWindowOpen) {
    Vesparo window(nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    for (QWidget* target :
         {static_cast<QWidget*>(&window),
          static_cast<QWidget*>(window.findChild<QToolButton*>("btnConfigure"))}) {
        QTest::keyClick(target, Qt::Key_Escape);
        apptest::drainEvents();
        EXPECT_TRUE(window.isVisible());
    }
}

TEST_F(VesparoTest, TheMainWindowIsGoneWithItsDestruction) {
    {
        Vesparo window(nullptr);
        EXPECT_EQ(Vesparo::instance(), &window);
    }
    EXPECT_EQ(Vesparo::instance(), nullptr);
    // Status messages after the window is gone reach nobody.
    vpcore::StatusService::Instance().update({"late", 0});
    apptest::drainEvents();
}

TEST_F(VesparoTest, WithoutASystemTrayItIsLoggedAndTheWindowRunsOn) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    Vesparo window(nullptr);
    const std::vector<std::string> lines = log.lines();
    const auto at = [&lines](const std::string& text) {
        return std::find_if(lines.begin(), lines.end(),
                            [&text](const std::string& line) {
                                return line.find(text) != std::string::npos;
                            }) -
               lines.begin();
    };
    EXPECT_LT(at("INFO: System tray is not available."), at("INFO: Ombrix init complete."));
    EXPECT_TRUE(window.findChildren<VesparoTray*>().isEmpty());
}

// A stand-in for the NWS provider: one fixed period.
class OnePeriodProvider : public vpcore::IWeatherInfoProvider {
public:
    bool update(vpcore::IWeatherModel* const model) override {
        auto* item = new vpcore::ForecastItem_t();
        item->periodName = "Tonight";
        item->hiLoLabel = "Lo";
        item->temperature = 41;
        static_cast<vpcore::ForecastModel*>(model)->assignForecastItems({item});
        return true;
    }
};

TEST_F(VesparoTest, TheForecastPanelOnTheConditionsPageShowsTheLocationsForecast) {
    Vesparo window(nullptr);
    QWidget* page = window.showPage(0);
    ASSERT_NE(page, nullptr);
    ForecastPanel* panel = page->findChild<ForecastPanel*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(0, 218, 598, 400));
    EXPECT_EQ(panel->title(), "Forecast");
    EXPECT_EQ(page->size(), QSize(598, 560));
    EXPECT_EQ(page->mapTo(&window, QPoint(0, 0)), QPoint(184, 46));

    const std::shared_ptr<vpcore::ForecastModel> model =
        LocationService::Instance().getForecastModel();
    model->setProvider(std::make_unique<OnePeriodProvider>());
    std::thread runner([&model] { model->performTask(); });
    runner.join();
    EXPECT_TRUE(apptest::waitFor([&] {
        const QList<QLabel*> labels = panel->findChildren<QLabel*>("temperature");
        return labels.size() == 1 && labels[0]->text() == "41";
    }));
}

TEST_F(VesparoTest, AnExceptionFromInitLeavesNothingCallingIntoTheWindow) {
    // A comfort level whose property is already taken makes init() throw part-way.
    vpcore::NotificationService::Instance().registerPropertyIds(
        {vpcore::PROP_DEWPOINT_COMFORT_LEVEL});
    EXPECT_THROW(Vesparo window(nullptr), std::invalid_argument);
    EXPECT_EQ(Vesparo::instance(), nullptr);
    // Reaching the destroyed window here would be a use after free (the ASan build sees it).
    std::thread worker([] {
        vpcore::StatusService::Instance().update({"after the failed start", 0});
        vpcore::StatusService::Instance().stopProgress(0);
    });
    worker.join();
    apptest::drainEvents();
}

TEST(UnmarshalLocationsTest, SevenStringsPerLocation) {
    struct Case {
        int strings;
        int locations;  // -1: rejected
    };
    const Case cases[] = {{0, 0}, {7, 1}, {14, 2}, {13, -1}, {6, -1}, {15, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strings);
        QList<QVariant> list;
        for (int i = 0; i < c.strings; ++i) {
            list << QString("s%1").arg(i);
        }
        std::vector<Location_t> out(1);
        if (c.locations < 0) {
            try {
                Vesparo::unmarshalLocations(list, out, toStdString);
                FAIL() << "no exception";
            } catch (const std::invalid_argument& e) {
                EXPECT_STREQ(e.what(),
                             "marshalling error: need 7 elements for each Location_t entry");
            }
            EXPECT_EQ(out.size(), 1u);
        } else {
            Vesparo::unmarshalLocations(list, out, toStdString);
            ASSERT_EQ(out.size(), 1u + c.locations);
            if (c.locations == 2) {
                EXPECT_EQ(out[2].zipCode, "s7");
                EXPECT_EQ(out[2].displayName, "s13");
            }
        }
    }
}

}  // namespace
