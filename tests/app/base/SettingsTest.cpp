#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVersionNumber>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

#include "AppTestSupport.h"
#include "HttpTestServer.h"
#include "base/Settings.h"
#include "base/UpdateChecker.h"

namespace {

using testsupport::HttpTestServer;

// The INI file of the test profile, as text.
QString iniText() {
    QFile file(QSettings().fileName());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { apptest::clearSettingsButVersion(); }
    void TearDown() override { apptest::clearSettingsButVersion(); }
};

// A failed save names its cause: a folder where the file should be is no full disk.
TEST_F(SettingsTest, AFailedSaveNamesWhatIsInTheWay) {
    const QTemporaryDir folder;
    struct Case {
        const char* name;
        std::function<void(const QString& path)> prepare;
        QString reason;
    };
    const QString plain = folder.filePath("plain");
    const Case cases[] = {
        {"a folder in place of the file", [](const QString& path) { QDir().mkpath(path); },
         "it is not a file but a folder"},
        {"a file in place of its folder",
         [&](const QString&) {
             QFile file(plain);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         },
         "its folder " + plain + " is not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = c.reason.startsWith("its folder") ? plain + "/Ombrix.ini"
                                                               : folder.filePath("Ombrix.ini");
        c.prepare(path);
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue("PLAY_SOUNDS", false);
        QString error;
        EXPECT_FALSE(syncSettings(settings, error));
        EXPECT_EQ(error, "The settings file " + path + " could not be written: " + c.reason + ".");
    }
}

TEST_F(SettingsTest, FirstReadStoresTheDefault) {
    struct Case {
        const char* key;
        QVariant value;
    };
    const Case cases[] = {{"SOUND_ALERT", true},
                          {"PLAY_ALERT_UNTIL_VIEWED", false},
                          {"PLAY_ALERT_INTERVAL_IN_MIN", 3},
                          {"PLAY_SOUNDS", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_FALSE(QSettings().contains(c.key));
        EXPECT_EQ(getSetting(c.key).toString(), c.value.toString());
        EXPECT_TRUE(QSettings().contains(c.key));
    }
    EXPECT_EQ(readIntSetting("PLAY_ALERT_INTERVAL_IN_MIN"), 3);
    EXPECT_TRUE(readBoolSetting("PLAY_SOUNDS"));
    EXPECT_FALSE(readBoolSetting("PLAY_ALERT_UNTIL_VIEWED"));
    EXPECT_TRUE(iniText().contains("PLAY_ALERT_INTERVAL_IN_MIN=3"));
}

TEST_F(SettingsTest, AStoredValueIsReadNotReplaced) {
    setSetting("PLAY_ALERT_INTERVAL_IN_MIN", 7);
    setSetting("PLAY_SOUNDS", false);
    EXPECT_EQ(readIntSetting("PLAY_ALERT_INTERVAL_IN_MIN"), 7);
    EXPECT_FALSE(readBoolSetting("PLAY_SOUNDS"));
    // Values written by hand in the INI file come back as text.
    QSettings().setValue("SOUND_ALERT", "false");
    EXPECT_FALSE(readBoolSetting("SOUND_ALERT"));
}

TEST_F(SettingsTest, TheLiteralSentinelCountsAsAbsent) {
    QSettings().setValue("PLAY_ALERT_INTERVAL_IN_MIN", "undefined");
    EXPECT_EQ(readIntSetting("PLAY_ALERT_INTERVAL_IN_MIN"), 3);
    EXPECT_EQ(QSettings().value("PLAY_ALERT_INTERVAL_IN_MIN").toInt(), 3);
}

TEST_F(SettingsTest, AKeyWithoutADefaultThrowsAndWritesNothing) {
    try {
        getSetting("CURRENT_LOCATION");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "CURRENT_LOCATION default not defined.");
    }
    EXPECT_FALSE(QSettings().contains("CURRENT_LOCATION"));
    QSettings settings;
    EXPECT_THROW(storeSettingDefault(settings, "Ombrix"), std::invalid_argument);
}

TEST_F(SettingsTest, ReadSettingReportsAbsenceWithoutWriting) {
    bool found = true;
    EXPECT_EQ(readSetting<QString>("CURRENT_LOCATION", found), QString());
    EXPECT_FALSE(found);
    EXPECT_TRUE(readSetting<QList<QVariant>>("ALL_LOCATIONS", found).isEmpty());
    EXPECT_FALSE(found);
    EXPECT_FALSE(QSettings().contains("CURRENT_LOCATION"));
    EXPECT_FALSE(QSettings().contains("ALL_LOCATIONS"));

    setSetting("CURRENT_LOCATION", "Austin, TX");
    setSetting("ALL_LOCATIONS", QList<QVariant>{"78701", "TXC453", "KATT", "Austin", "EWX",
                                                "Austin/San Antonio", "Austin, TX"});
    EXPECT_EQ(readSetting<QString>("CURRENT_LOCATION", found), "Austin, TX");
    EXPECT_TRUE(found);
    const QList<QVariant> list = readSetting<QList<QVariant>>("ALL_LOCATIONS", found);
    EXPECT_TRUE(found);
    ASSERT_EQ(list.size(), 7);
    std::string text;
    toStdString(list[6], text);
    EXPECT_EQ(text, "Austin, TX");
    QString back;
    toQString(text, back);
    EXPECT_EQ(back, "Austin, TX");
}

class UpdateCheckerTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        QSettings().setValue("Ombrix", "2.0");
        qputenv("OMBRIX_HOME_HOST", server.host().c_str());
    }
    void TearDown() override {
        qunsetenv("OMBRIX_HOME_HOST");
        SettingsTest::TearDown();
    }
    HttpTestServer server;
};

TEST_F(UpdateCheckerTest, ComparesThePublishedVersionWithTheInstalledOne) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    struct Case {
        const char* installed;
        const char* body;
        bool newer;
        const char* latest;  // "" for none
        const char* error;
    };
    // Dotted versions compare part by part: as numbers "2.10" would be older than "2.9", and
    // "2.0.1" would be no number at all.
    const Case cases[] = {{"2.0", "2.0", false, "2.0", ""},
                          {"2.0", "2.1", true, "2.1", ""},
                          {"2.0", "2.1\r\n", true, "2.1", ""},
                          {"2.0", "1.9", false, "1.9", ""},
                          {"2.0", "2.0.1", true, "2.0.1", ""},
                          {"2.0", "2", false, "2", ""},
                          {"2.0", "2.0.0", false, "2.0.0", ""},
                          {"2.9", "2.10", true, "2.10", ""},
                          {"2.10", "2.9", false, "2.9", ""},
                          {"2.0.1", "2.0", false, "2.0", ""},
                          {"2.0", "", false, "", "Unable to check for update."},
                          {"2.0", "<html>moved</html>", false, "", ""},
                          {"2.0", "2.1 beta", false, "", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.installed) + " -> " + c.body);
        QSettings().setValue("Ombrix", c.installed);
        server.addRoute("/Ombrix.version", HttpTestServer::ok(c.body, "text/plain"));
        QString error;
        QVersionNumber latest(9, 9);
        EXPECT_EQ(UpdateChecker::instance().checkForUpdate(error, latest), c.newer);
        EXPECT_EQ(latest.toString().toStdString(), c.latest);
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(server.requestCount("/Ombrix.version"), static_cast<int>(std::size(cases)));
    EXPECT_EQ(UpdateChecker::instance().homePageUrl(), QString::fromStdString(server.url("/")));
}

TEST_F(UpdateCheckerTest, AFailedFetchKeepsTheServicesError) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    server.addRoute("/Ombrix.version", HttpTestServer::status(404, "gone"));
    QString error;
    QVersionNumber latest;
    EXPECT_FALSE(UpdateChecker::instance().checkForUpdate(error, latest));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(latest.isNull()) << "none read";
}

TEST_F(UpdateCheckerTest, NoInstalledVersionMeansAnyPublishedVersionIsNewer) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    QSettings().remove("Ombrix");
    server.addRoute("/Ombrix.version", HttpTestServer::ok("0.5", "text/plain"));
    QString error;
    QVersionNumber latest;
    EXPECT_TRUE(UpdateChecker::instance().checkForUpdate(error, latest));
    EXPECT_EQ(latest, QVersionNumber(0, 5));
}

}  // namespace
