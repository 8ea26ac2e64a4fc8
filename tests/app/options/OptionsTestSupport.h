// What the options dialog's tests share: a profile without settings, the NWS code tables of
// tests/fixtures/options, and a loopback server that plays the NWS (observations, zip code
// positions, forecast, alert feed) and the home site, with the service hosts pointed at it.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <string>

#include "AppTestSupport.h"
#include "HttpTestServer.h"
#include "TempDir.h"
#include "options/LocationPage.h"
#include "options/OptionsPageBase.h"
#include "services/FileService.h"
#include "services/TaskScheduler.h"
#include "weather/LocationService.h"
#include "weather/NWSCodeService.h"

namespace optionstest {

inline std::string optionsFixtures() {
    return std::string(OMBRIX_FIXTURE_DIR) + "/options";
}

// Austin, TX as the location page makes it from 78701 with the fixture tables.
inline vpcore::Location_t austin() {
    vpcore::Location_t location;
    location.zipCode = "78701";
    location.alertCode = "TXC453";
    location.stationId = "KATT";
    location.stationName = "Austin City, Austin Camp Mabry";
    location.radarId = "EWX";
    location.radarName = "Austin/San Antonio";
    location.displayName = "Austin, TX";
    return location;
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Every dialog fetches (the update page asks the home site as it is built).
        SKIP_FETCH_TESTS_UNDER_TSAN();
        apptest::clearSettingsButVersion();
        for (const char* station : {"KATT", "KAUS", "KBKF"}) {
            const std::string path = std::string("/xml/current_obs/") + station + ".xml";
            server.addRoute(path, testsupport::HttpTestServer::fixture("nws" + path));
        }
        const std::string zipLookup =
            "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=";
        server.addRoute(zipLookup + "78701",
                        testsupport::HttpTestServer::fixture("options/zip_78701.xml"));
        server.addRoute(zipLookup + "80202",
                        testsupport::HttpTestServer::fixture("options/zip_80202.xml"));
        server.addRoute("/MapClick.php",
                        testsupport::HttpTestServer::fixture("nws/forecast/78701.xml"));
        server.addRoute("/cap/wwaatmget.php",
                        testsupport::HttpTestServer::fixture("nws/alerts/none.xml"));
        server.addRoute("/Ombrix.version", testsupport::HttpTestServer::ok("2.0", "text/plain"));
        for (const char* variable : {"OMBRIX_NWS_HOST", "OMBRIX_FORECAST_HOST",
                                     "OMBRIX_ALERTS_HOST", "OMBRIX_HOME_HOST"}) {
            qputenv(variable, server.host().c_str());
        }
        useFixtureFiles();
        vpcore::LocationService::Instance().setLocations({});
    }

    void useFixtureFiles() {
        vpcore::FileService::Instance().setApplicationDataPath(dataDir.path() + "/");
        vpcore::FileService::Instance().setInstallPath(optionsFixtures());
        vpcore::NWSCodeService::Instance().setBasePath(optionsFixtures() + "/resources");
    }

    void TearDown() override {
        vpcore::TaskScheduler::instance().shutdown();
        apptest::clearSettingsButVersion();
    }

    // As the program reads the list back: an empty text is an empty list.
    static QStringList storedLocations() {
        QStringList strings;
        for (const QVariant& value :
             qvariant_cast<QList<QVariant>>(QSettings().value("ALL_LOCATIONS"))) {
            strings.append(value.toString());
        }
        return strings;
    }

    // The line of the settings file that holds the key, as the file has it.
    static QString storedLine(const QString& key) {
        QSettings().sync();
        QFile file(QSettings().fileName());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            return QString();
        }
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (line.startsWith(key + "=")) {
                return line;
            }
        }
        return QString();
    }

    testsupport::TempDir dataDir;
    testsupport::HttpTestServer server;
    // A modal box would stop the test; the boxes are recorded instead.
    apptest::MessageBoxRecorder messageBoxes;
};

// The controls of a location page, found by their object names.
struct LocationControls {
    explicit LocationControls(QWidget* root)
        : page(root->findChild<LocationPage*>()),
          zip(page->findChild<QLineEdit*>("zipEdit")),
          county(page->findChild<QComboBox*>("countyBox")),
          radar(page->findChild<QComboBox*>("radarBox")),
          chooser(page->findChild<QComboBox*>("chooser")),
          find(page->findChild<QPushButton*>("findButton")),
          add(page->findChild<QPushButton*>("addButton")),
          remove(page->findChild<QPushButton*>("deleteButton")),
          save(page->findChild<QPushButton*>("saveButton")),
          error(page->findChild<QLabel*>("errorLabel")),
          status(page->findChild<QLabel*>("statusLabel")) {}

    // Add Location, type the zip code, Find: as a user does it.
    void search(const QString& zipCode) const {
        QTest::mouseClick(add, Qt::LeftButton);
        QTest::keyClicks(zip, zipCode);
        QTest::mouseClick(find, Qt::LeftButton);
    }

    LocationPage* page;
    QLineEdit* zip;
    QComboBox* county;
    QComboBox* radar;
    QComboBox* chooser;
    QPushButton* find;
    QPushButton* add;
    QPushButton* remove;
    QPushButton* save;
    QLabel* error;
    QLabel* status;
};

}  // namespace optionstest
