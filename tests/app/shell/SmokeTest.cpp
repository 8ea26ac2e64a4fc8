// Starts the real program, as a user would, against the fixture NWS on 127.0.0.1, with a fresh
// profile whose saved current location is one the fixture serves.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>

#include "AppTestSupport.h"
#include "PrivateDisplay.h"

#include "HttpTestServer.h"

namespace {

using apptest::readUntil;

// The bounding box of everything that is not the black of an empty screen.
QRect paintedArea(const QImage& screen) {
    QRect area;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if ((row[x] & 0xFFFFFF) != 0) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

class SmokeTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixture.setProcessChannelMode(QProcess::SeparateChannels);
        fixture.start(FIXTURE_NWS_PROGRAM, {"--port", "0"});
        ASSERT_TRUE(fixture.waitForStarted(10000));
        const QRegularExpression listening("listening on (127\\.0\\.0\\.1:\\d+)");
        ASSERT_TRUE(readUntil(
            fixture, fixtureOutput,
            [&] { return listening.match(QString::fromUtf8(fixtureOutput)).hasMatch(); }, 20000))
            << fixtureOutput.toStdString();
        host = listening.match(QString::fromUtf8(fixtureOutput)).captured(1);
    }
    void TearDown() override {
        if (fixture.state() != QProcess::NotRunning) {
            fixture.terminate();
            fixture.waitForFinished(10000);
        }
    }

    QProcess fixture;
    QByteArray fixtureOutput;
    QString host;
};

TEST_F(SmokeTest, TheProgramStartsFetchesTheCurrentLocationsWeatherAndEndsCleanly) {
    // The program under test is built with the same sanitizer and fetches over Qt's network.
    SKIP_FETCH_TESTS_UNDER_TSAN();
    QTemporaryDir profile;
    ASSERT_TRUE(profile.isValid());
    apptest::saveProgramSettings(profile.filePath("Ombrix/Ombrix.ini"), apptest::austinLocation(),
                                 "Austin, TX");

    // A screen of its own, so that the screenshot shows the program and nothing else.
    apptest::PrivateDisplay display(1280, 1024);
    ASSERT_TRUE(display.isRunning());
    QProcess program;
    program.setProcessEnvironment(
        apptest::programEnvironment(profile.path(), host, display.name()));
    program.setWorkingDirectory(profile.path());  // any folder: the program finds its own files
    program.start(OMBRIX_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(10000));

    QByteArray output;
    const bool initialised = readUntil(
        program, output, [&] { return output.contains("INFO: Ombrix init complete."); }, 60000);
    const bool observed = readUntil(
        fixture, fixtureOutput,
        [&] { return fixtureOutput.contains("GET /xml/current_obs/KATT.xml 200"); }, 60000);
    // The condition icon is the last thing the current conditions fetch.
    const bool iconFetched = readUntil(
        fixture, fixtureOutput,
        [&] {
            return QRegularExpression("GET /images/wtf/small/\\w+\\.png 200")
                .match(QString::fromUtf8(fixtureOutput))
                .hasMatch();
        },
        60000);
    // Mapped first: a screen grabbed before the window shows holds only the empty root.
    // Mapped is not yet painted: a loaded machine may show a black screen for a while after.
    const bool mapped = display.waitForWindow("Ombrix", 30000);
    QImage screen = display.grabWhenStill(1000, 20000);
    QElapsedTimer painting;
    painting.start();
    while (paintedArea(screen).isEmpty() && painting.elapsed() < 30000) {
        QThread::msleep(200);
        screen = display.grabWhenStill(1000, 20000);
    }

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    output += program.readAllStandardOutput();
    const QByteArray errors = program.readAllStandardError();
    const std::string log = output.toStdString() + errors.toStdString();

    EXPECT_TRUE(initialised) << log;
    EXPECT_TRUE(observed) << fixtureOutput.toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << log;
    EXPECT_EQ(program.exitCode(), 0) << log;
    EXPECT_FALSE(errors.contains("Sanitizer")) << log;
    EXPECT_FALSE(errors.contains("runtime error:")) << log;
    EXPECT_TRUE(output.contains("INFO: User Data Dir:" + profile.path().toUtf8() + "/Ombrix/"));
    EXPECT_TRUE(QFile::exists(profile.filePath("Ombrix/Ombrix.log")));
    EXPECT_FALSE(QFile::exists(profile.filePath("Ombrix/crash.log")));

    // The main window with the fixture's data, kept for people to look at.
    EXPECT_TRUE(iconFetched) << fixtureOutput.toStdString();
    EXPECT_TRUE(mapped);
    ASSERT_FALSE(screen.isNull());
    const QImage window = screen.copy(paintedArea(screen));
    ASSERT_TRUE(QDir().mkpath(OMBRIX_ARTEFACT_DIR));
    EXPECT_TRUE(window.save(OMBRIX_ARTEFACT_DIR "/main-window.png"));
    EXPECT_EQ(window.size(), QSize(800, 650));
    // The top of the window's gradient is midnight blue.
    const QColor top = window.pixelColor(window.width() / 2, 2);
    EXPECT_GT(top.blue(), top.red() + 50) << top.name().toStdString();
}

}  // namespace
