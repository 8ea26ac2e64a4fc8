// The installed program: `cmake --install` into a temporary prefix, the prefix moved elsewhere,
// and the program started from there in a working folder of its own, against the fixture NWS,
// with a fresh profile: it shows a location's weather, finds a zip code in its data files and
// saves it, and ends cleanly on SIGTERM. Nothing of the build folder is on its way: its
// libraries come from the prefix's lib/, its data files from the prefix's share/ombrix/.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>
#include <csignal>

#include "AppTestSupport.h"
#include "HttpTestServer.h"
#include "PrivateDisplay.h"
#include "TempDir.h"

// Last: Xlib defines macros (Bool, Status, None) that clash with names in Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

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

// Starts the fixture NWS with the arguments; the "127.0.0.1:port" it listens on, or empty.
QString startFixture(QProcess& fixture, QByteArray& output, const QStringList& arguments) {
    fixture.setProcessChannelMode(QProcess::SeparateChannels);
    fixture.start(FIXTURE_NWS_PROGRAM, QStringList{"--port", "0"} + arguments);
    if (!fixture.waitForStarted(10000)) {
        return QString();
    }
    const QRegularExpression listening("listening on (127\\.0\\.0\\.1:\\d+)");
    apptest::readUntil(
        fixture, output, [&] { return listening.match(QString::fromUtf8(output)).hasMatch(); },
        20000);
    return listening.match(QString::fromUtf8(output)).captured(1);
}

// A user's pointer and keyboard on one X display, through the server's XTEST extension.
class XUser {
public:
    explicit XUser(const QString& display) : x(XOpenDisplay(display.toLocal8Bit().constData())) {}
    ~XUser() {
        if (x != nullptr) {
            XCloseDisplay(x);
        }
    }
    XUser(const XUser&) = delete;
    XUser& operator=(const XUser&) = delete;

    bool isOpen() const { return x != nullptr; }
    // Moves there first and lets the widget see the pointer enter, as a hand would.
    void click(int px, int py) {
        XTestFakeMotionEvent(x, -1, px, py, CurrentTime);
        XFlush(x);
        QThread::msleep(300);
        for (const Bool pressed : {True, False}) {
            XTestFakeButtonEvent(x, 1, pressed, CurrentTime);
            XFlush(x);
            QThread::msleep(50);
        }
    }
    // Digits and letters only: each is its own key symbol.
    void type(const char* text) {
        for (const char* c = text; *c != 0; ++c) {
            const KeyCode code = XKeysymToKeycode(x, static_cast<KeySym>(*c));
            for (const Bool pressed : {True, False}) {
                XTestFakeKeyEvent(x, code, pressed, CurrentTime);
                XFlush(x);
                QThread::msleep(30);
            }
        }
    }

private:
    Display* x;
};

// Waits until the area of the screen differs from what it showed before; false after the
// time-out.
bool areaChanges(const apptest::PrivateDisplay& display, const QRect& area, const QImage& before,
                 int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QImage now = display.grab();
        if (!now.isNull() && now.copy(area) != before) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
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

    // Starts the installed program on the profile, against the fixture NWS at host, on the
    // display, from a working folder that is neither the program's nor the profile's.
    static void startInstalled(QProcess& program, const QString& profilePath, const QString& host,
                               const QString& displayName, const testsupport::TempDir& folder) {
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.setProcessEnvironment(apptest::programEnvironment(profilePath, host, displayName));
        program.setWorkingDirectory(QString::fromStdString(folder.path()));
        program.start(installed("bin/Ombrix"), {});
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    // Ends the program as the desktop's log-out does and adds what it wrote last to output.
    static void terminate(QProcess& program, QByteArray& output) {
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(30000));
        output += program.readAll();
    }

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
    QByteArray fixtureOutput;
    const QString host = startFixture(fixture, fixtureOutput,
                                      {"--hostile", "html", "--hostile-path",
                                       "/xml/current_obs/KATT.xml", "--hostile-after", "1"});
    ASSERT_FALSE(host.isEmpty()) << fixtureOutput.toStdString();

    testsupport::TempDir profile;
    testsupport::TempDir elsewhere;
    const QString profilePath = QString::fromStdString(profile.path());
    apptest::saveProgramSettings(profilePath + "/Ombrix/Ombrix.ini", apptest::austinLocation(),
                                 "Austin, TX");
    apptest::PrivateDisplay display(1280, 1024);
    ASSERT_TRUE(display.isRunning());

    QProcess program;
    ASSERT_NO_FATAL_FAILURE(startInstalled(program, profilePath, host, display.name(), elsewhere));

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

    ASSERT_NO_FATAL_FAILURE(terminate(program, output));
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

// As a user does on a first run: the banner opens the options, "Add Location", the zip code,
// "Find" (the county comes from the installed data files), "Save Location". The window fills
// a screen of its size, so the places to click are those of the window.
TEST_F(InstallTest, AZipCodeIsFoundInTheInstalledDataAndTheLocationIsSaved) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    QProcess fixture;
    QByteArray fixtureOutput;
    const QString host = startFixture(fixture, fixtureOutput, {});
    ASSERT_FALSE(host.isEmpty()) << fixtureOutput.toStdString();
    testsupport::TempDir profile;
    testsupport::TempDir elsewhere;
    const QString profilePath = QString::fromStdString(profile.path());
    apptest::PrivateDisplay display(800, 650);
    ASSERT_TRUE(display.isRunning());
    XUser user(display.name());
    ASSERT_TRUE(user.isOpen());

    QProcess program;
    ASSERT_NO_FATAL_FAILURE(startInstalled(program, profilePath, host, display.name(), elsewhere));
    QByteArray output;
    ASSERT_TRUE(apptest::readUntil(
        program, output, [&] { return output.contains("INFO: Ombrix init complete."); }, 60000))
        << output.toStdString();
    ASSERT_TRUE(display.waitForWindow("Ombrix", 30000));
    display.grabWhenStill(1000, 20000);

    // Each step waits for the part of the window it changes: the dialog, the "Find" button
    // (enabled), the zip code field, the "Save Location" button (enabled).
    const struct {
        const char* step;
        QPoint click;  // or keys
        const char* keys;
        QRect changes;
    } steps[] = {
        {"the banner opens the options on their Location page",
         {210, 22},
         nullptr,
         {100, 85, 600, 500}},
        {"Add Location enables the zip code field", {370, 218}, nullptr, {596, 259, 74, 15}},
        {"the zip code is typed", {}, "78701", {459, 259, 125, 15}},
        {"Find fills the county box and enables Save Location",
         {632, 266},
         nullptr,
         {584, 335, 85, 15}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        const QImage before = display.grab().copy(step.changes);
        if (step.keys != nullptr) {
            user.type(step.keys);
        } else {
            user.click(step.click.x(), step.click.y());
        }
        ASSERT_TRUE(areaChanges(display, step.changes, before)) << output.toStdString();
    }
    user.click(626, 342);  // Save Location: the new location becomes the current one
    const bool chosen = apptest::readUntil(
        program, output, [&] { return output.contains("for zip code 78701"); }, 30000);
    const bool observed = apptest::readUntil(
        fixture, fixtureOutput,
        [&] { return fixtureOutput.contains("GET /xml/current_obs/KATT.xml 200"); }, 60000);

    ASSERT_NO_FATAL_FAILURE(terminate(program, output));
    const std::string log = output.toStdString();
    fixture.terminate();
    fixture.waitForFinished(10000);

    EXPECT_TRUE(chosen) << log;
    EXPECT_TRUE(observed) << fixtureOutput.toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << log;
    EXPECT_EQ(program.exitCode(), 0) << log;
    EXPECT_FALSE(output.contains("Could not open")) << log;
    EXPECT_FALSE(output.contains("Sanitizer")) << log;
    QSettings settings(profilePath + "/Ombrix/Ombrix.ini", QSettings::IniFormat);
    const QStringList saved = settings.value("ALL_LOCATIONS").toStringList();
    ASSERT_EQ(saved.size(), 7) << saved.join(", ").toStdString();
    EXPECT_EQ(saved[0], "78701");
    EXPECT_EQ(saved[1], "TXC453");  // Travis County, from countyCodes.txt
    EXPECT_EQ(saved[2], "KATT");    // the nearest station, from the station list
    EXPECT_EQ(saved[6], "Austin, TX");
    EXPECT_EQ(settings.value("CURRENT_LOCATION").toString(), "Austin, TX");
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
