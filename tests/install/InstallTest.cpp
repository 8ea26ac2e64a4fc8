// The installed program: `cmake --install` into a temporary prefix, the prefix moved elsewhere,
// and the program started from there in a working folder of its own, against the fixture NWS,
// with a fresh profile. Nothing of the build folder is on its way: its libraries come from the
// prefix's lib/, its data files from the prefix's share/ombrix/.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <csignal>

#include "AppTestSupport.h"
#include "HttpTestServer.h"
#include "PrivateDisplay.h"
#include "TempDir.h"

namespace {

const char* const kAppId = "org.example.ombrix";

// Runs a program to its end; its exit code, and its output (both channels) in output.
int run(const QString& program, const QStringList& arguments, QString& output,
        const QString& workingFolder = QString()) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingFolder.isEmpty()) {
        process.setWorkingDirectory(workingFolder);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        output = "timed out: " + program;
        return -1;
    }
    output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// One prefix for the whole program: installed once, then moved, as a user may move a tree.
class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root = new testsupport::TempDir();
        const QString first = QString::fromStdString(root->filePath("first"));
        // The component names every install rule: its manifest is a file of its own, so the
        // build's install_manifest.txt of a real install (kept for removing it) stays as it is.
        installExit =
            run(OMBRIX_CMAKE_COMMAND,
                {"--install", OMBRIX_BUILD_DIR, "--prefix", first, "--component", "Unspecified"},
                installOutput);
        prefix = QString::fromStdString(root->filePath("moved"));
        moved = QDir().rename(first, prefix);
    }
    static void TearDownTestSuite() {
        delete root;
        root = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(installExit, 0) << installOutput.toStdString();
        ASSERT_TRUE(moved);
    }

    static QString installed(const QString& path) { return prefix + "/" + path; }

    static testsupport::TempDir* root;
    static int installExit;
    static QString installOutput;
    static QString prefix;
    static bool moved;
};

testsupport::TempDir* InstallTest::root = nullptr;
int InstallTest::installExit = -1;
QString InstallTest::installOutput;
QString InstallTest::prefix;
bool InstallTest::moved = false;

TEST_F(InstallTest, EachFileGoesWhereTheDesktopLooksForIt) {
    QStringList expected = {
        "bin/Ombrix",
        "lib/libombrixapp.so",
        "lib/libvpcore.so.2",
        "share/ombrix/maps/map.template",
        QString("share/applications/%1.desktop").arg(kAppId),
        QString("share/metainfo/%1.metainfo.xml").arg(kAppId),
    };
    for (const char* file :
         {"zipcodes.csv", "countyCodes.txt", "NWS_Current_Conditions_Codes.xml", "radar_ids.xml",
          "gauge_turn.wav", "label_click.wav", "birds_sunny.wav", "crickets_night.wav", "rain.wav",
          "thunderstorm.wav", "windy.wav", "wind_snow.wav", "6_beeps.wav"}) {
        expected << QString("share/ombrix/resources/") + file;
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        expected << QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId);
    }
    for (const QString& file : expected) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_TRUE(QFileInfo(installed(file)).isFile());
    }
    EXPECT_TRUE(QFileInfo(installed("bin/Ombrix")).isExecutable());
    // Each icon is the size its folder names.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QImage icon(
            installed(QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId)));
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel());
    }
    // Nothing but the program's own files: no test programs, tools or headers.
    QStringList programs = QDir(installed("bin")).entryList(QDir::Files);
    EXPECT_EQ(programs, QStringList{"Ombrix"});
}

TEST_F(InstallTest, TheProgramFindsItsLibrariesInThePrefixWhereverThePrefixIs) {
    QString readelf;
    ASSERT_EQ(run("readelf", {"-d", installed("bin/Ombrix")}, readelf), 0) << readelf.toStdString();
    EXPECT_TRUE(readelf.contains("[$ORIGIN/../lib]")) << readelf.toStdString();
    EXPECT_FALSE(readelf.contains(OMBRIX_BUILD_DIR)) << readelf.toStdString();
    ASSERT_EQ(run("readelf", {"-d", installed("lib/libombrixapp.so")}, readelf), 0);
    EXPECT_TRUE(readelf.contains("[$ORIGIN]")) << readelf.toStdString();
    EXPECT_FALSE(readelf.contains(OMBRIX_BUILD_DIR)) << readelf.toStdString();

    QString ldd;
    ASSERT_EQ(run("ldd", {installed("bin/Ombrix")}, ldd), 0) << ldd.toStdString();
    for (const char* library : {"libombrixapp.so", "libvpcore.so.2"}) {
        SCOPED_TRACE(library);
        const QRegularExpression found(QString("%1 => (\\S+)").arg(library));
        const QRegularExpressionMatch match = found.match(ldd);
        ASSERT_TRUE(match.hasMatch()) << ldd.toStdString();
        EXPECT_EQ(QFileInfo(match.captured(1)).canonicalFilePath(),
                  QFileInfo(installed(QString("lib/") + library)).canonicalFilePath());
    }
    EXPECT_FALSE(ldd.contains("not found")) << ldd.toStdString();
}

TEST_F(InstallTest, TheInstalledProgramRunsFromAnyFolderOnItsInstalledData) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    // The station's observation fails once the program has checked it at start, so the
    // program looks for the nearest other station: in the station list it reads from its
    // installed data folder.
    QProcess fixture;
    fixture.setProcessChannelMode(QProcess::SeparateChannels);
    fixture.start(FIXTURE_NWS_PROGRAM, {"--port", "0", "--hostile", "html", "--hostile-path",
                                        "/xml/current_obs/KATT.xml", "--hostile-after", "1"});
    ASSERT_TRUE(fixture.waitForStarted(10000));
    QByteArray fixtureOutput;
    const QRegularExpression listening("listening on (127\\.0\\.0\\.1:\\d+)");
    ASSERT_TRUE(apptest::readUntil(
        fixture, fixtureOutput,
        [&] { return listening.match(QString::fromUtf8(fixtureOutput)).hasMatch(); }, 20000))
        << fixtureOutput.toStdString();
    const QString host = listening.match(QString::fromUtf8(fixtureOutput)).captured(1);

    testsupport::TempDir profile;
    testsupport::TempDir elsewhere;
    const QString profilePath = QString::fromStdString(profile.path());
    apptest::saveProgramSettings(profilePath + "/Ombrix/Ombrix.ini", apptest::austinLocation(),
                                 "Austin, TX");
    apptest::PrivateDisplay display(1280, 1024);
    ASSERT_TRUE(display.isRunning());

    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setProcessEnvironment(apptest::programEnvironment(profilePath, host, display.name()));
    program.setWorkingDirectory(QString::fromStdString(elsewhere.path()));
    program.start(installed("bin/Ombrix"), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    QByteArray output;
    const bool initialised = apptest::readUntil(
        program, output, [&] { return output.contains("INFO: Ombrix init complete."); }, 60000);
    const bool observed = apptest::readUntil(
        fixture, fixtureOutput,
        [&] { return fixtureOutput.contains("GET /xml/current_obs/KATT.xml 200"); }, 60000);
    const bool alternateObserved = apptest::readUntil(
        fixture, fixtureOutput,
        [&] { return fixtureOutput.contains("GET /xml/current_obs/KAUS.xml 200"); }, 60000);
    const bool forecastAsked = apptest::readUntil(
        fixture, fixtureOutput, [&] { return fixtureOutput.contains("GET /MapClick.php?"); },
        60000);
    apptest::readUntil(
        program, output, [&] { return output.contains("stations loaded."); }, 10000);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    output += program.readAll();
    const std::string log = output.toStdString();
    fixture.terminate();
    fixture.waitForFinished(10000);
    fixtureOutput += fixture.readAllStandardOutput();

    EXPECT_TRUE(initialised) << log;
    EXPECT_TRUE(observed) << fixtureOutput.toStdString();
    EXPECT_TRUE(alternateObserved) << fixtureOutput.toStdString() << log;
    EXPECT_TRUE(forecastAsked) << fixtureOutput.toStdString();
    EXPECT_TRUE(output.contains("INFO: 1740 stations loaded.")) << log;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << log;
    EXPECT_EQ(program.exitCode(), 0) << log;
    EXPECT_FALSE(output.contains("Sanitizer")) << log;
    EXPECT_FALSE(output.contains("runtime error:")) << log;
    EXPECT_TRUE(QFile::exists(profilePath + "/Ombrix/Ombrix.log"));
    EXPECT_FALSE(QFile::exists(profilePath + "/Ombrix/crash.log"));
    // Nothing was written beside the program or into the working folder.
    EXPECT_EQ(QDir(QString::fromStdString(elsewhere.path()))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
    EXPECT_EQ(QDir(installed("bin")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"Ombrix"});
}

// The validators print nothing but their verdict for a sound file; any hint is a failure.
TEST_F(InstallTest, TheDesktopEntryAndTheMetainfoPassTheirValidators) {
    const QString desktopValidator = QStandardPaths::findExecutable("desktop-file-validate");
    const QString appstream = QStandardPaths::findExecutable("appstreamcli");
    if (desktopValidator.isEmpty() || appstream.isEmpty()) {
        GTEST_SKIP() << "desktop-file-validate or appstreamcli is not installed "
                        "(tools/install-deps.sh installs them)";
    }
    QString output;
    EXPECT_EQ(run(desktopValidator,
                  {installed(QString("share/applications/%1.desktop").arg(kAppId))}, output),
              0)
        << output.toStdString();
    EXPECT_EQ(output, QString()) << output.toStdString();

    EXPECT_EQ(run(appstream,
                  {"validate", "--pedantic", "--no-net", "--no-color",
                   installed(QString("share/metainfo/%1.metainfo.xml").arg(kAppId))},
                  output),
              0)
        << output.toStdString();
    // Issues are listed one a line as "<severity letter>: <id>:<line>: <tag>".
    EXPECT_FALSE(QRegularExpression("^[EWIP]: ", QRegularExpression::MultilineOption)
                     .match(output)
                     .hasMatch())
        << output.toStdString();
    EXPECT_TRUE(output.contains("Validation was successful")) << output.toStdString();
}

}  // namespace
