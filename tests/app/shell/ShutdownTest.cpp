// The real program ends at once on SIGTERM whatever its running task waits for: a host that
// stops answering after the headers, once the program runs, holds no task's fetch past the
// shutdown.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "AppTestSupport.h"
#include "PrivateDisplay.h"

#include "HttpTestServer.h"

namespace {

using apptest::readUntil;

TEST(ShutdownTest, SigtermEndsTheProgramWithinSecondsWhileAHostHangs) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    const struct {
        const char* name;
        QStringList hostile;
        QString hangingPath;  // the start of the path of the request that hangs
    } cases[] = {
        // The start-up check of the station is answered; the first update hangs.
        {"the observation host",
         {"--hostile", "stall", "--hostile-path", "/xml/current_obs/", "--hostile-after", "1"},
         "/xml/current_obs/"},
        {"the icon host", {"--hostile", "stall", "--hostile-path", "/images/"}, "/images/"},
        // Qt's HTTP thread reads endless headers in a loop that no abort reaches.
        {"the observation host's endless headers",
         {"--hostile", "endless-headers", "--hostile-path", "/xml/current_obs/", "--hostile-after",
          "1"},
         "/xml/current_obs/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess fixture;
        fixture.start(FIXTURE_NWS_PROGRAM, QStringList{"--port", "0"} + c.hostile);
        ASSERT_TRUE(fixture.waitForStarted(10000));
        QByteArray fixtureOutput;
        const QRegularExpression listening("listening on (127\\.0\\.0\\.1:\\d+)");
        ASSERT_TRUE(readUntil(
            fixture, fixtureOutput,
            [&] { return listening.match(QString::fromUtf8(fixtureOutput)).hasMatch(); }, 20000));
        const QString host = listening.match(QString::fromUtf8(fixtureOutput)).captured(1);

        QTemporaryDir profile;
        ASSERT_TRUE(profile.isValid());
        const QString settingsFile = profile.filePath("Ombrix/Ombrix.ini");
        apptest::saveProgramSettings(settingsFile, apptest::austinLocation(), "Austin, TX");
        apptest::PrivateDisplay display(1024, 768);
        ASSERT_TRUE(display.isRunning());
        QProcess program;
        program.setProcessEnvironment(
            apptest::programEnvironment(profile.path(), host, display.name()));
        program.setWorkingDirectory(profile.path());
        program.start(OMBRIX_PROGRAM, {});
        ASSERT_TRUE(program.waitForStarted(10000));

        QByteArray output;
        const bool initialised = readUntil(
            program, output, [&] { return output.contains("INFO: Ombrix init complete."); }, 60000);
        const bool hanging = readUntil(
            fixture, fixtureOutput,
            [&] {
                return QRegularExpression("GET " + QRegularExpression::escape(c.hangingPath) +
                                          "\\S* (stall|endless-headers)")
                    .match(QString::fromUtf8(fixtureOutput))
                    .hasMatch();
            },
            60000);
        ASSERT_TRUE(initialised) << output.toStdString();
        ASSERT_TRUE(hanging) << fixtureOutput.toStdString();
        QElapsedTimer stopping;
        stopping.start();

        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);

        const bool ended = program.waitForFinished(3000);
        const qint64 took = stopping.elapsed();
        if (!ended) {
            program.kill();
            program.waitForFinished(10000);
        }
        output += program.readAllStandardOutput();
        const std::string log = output.toStdString() + program.readAllStandardError().toStdString();
        EXPECT_TRUE(ended) << "still running after " << took << " ms\n" << log;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << log;
        EXPECT_EQ(program.exitCode(), 0) << log;
        EXPECT_FALSE(QFile::exists(profile.filePath("Ombrix/crash.log")));
        // The settings are whole after the stop.
        QSettings settings(settingsFile, QSettings::IniFormat);
        EXPECT_EQ(settings.status(), QSettings::NoError);
        EXPECT_EQ(settings.value("CURRENT_LOCATION").toString(), "Austin, TX");
        EXPECT_EQ(settings.value("ALL_LOCATIONS").toStringList().size(), 7);

        fixture.terminate();
        EXPECT_TRUE(fixture.waitForFinished(10000));
    }
}

}  // namespace
