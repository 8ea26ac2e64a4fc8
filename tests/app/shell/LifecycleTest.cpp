// The real program's life as users meet it: started while the weather service is down, ended
// by a signal while a notice is open, and started twice on one profile. Each test starts the
// real binary on a display of its own with a fresh profile, against the fixture NWS.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>

#include "AppTestSupport.h"
#include "PrivateDisplay.h"

#include "HttpTestServer.h"

namespace {

using apptest::readUntil;

const QVariantList kAustin = apptest::austinLocation();

// A port on 127.0.0.1 that nothing listens on now.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The fixture NWS on a port chosen by the test (0: a free one).
class Nws {
public:
    bool start(quint16 wanted) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(FIXTURE_NWS_PROGRAM, {"--port", QString::number(wanted)});
        const QRegularExpression listening("listening on (127\\.0\\.0\\.1:\\d+)");
        if (!process.waitForStarted(10000) ||
            !readUntil(
                process, output,
                [&] { return listening.match(QString::fromUtf8(output)).hasMatch(); }, 20000)) {
            return false;
        }
        host = listening.match(QString::fromUtf8(output)).captured(1);
        return true;
    }
    bool heard(const QString& pattern, int timeoutMs) {
        const QRegularExpression request(pattern);
        return readUntil(
            process, output, [&] { return request.match(QString::fromUtf8(output)).hasMatch(); },
            timeoutMs);
    }
    ~Nws() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(10000);
        }
    }

    QProcess process;
    QByteArray output;
    QString host;
};

// One run of the program on a profile, its output kept.
class Program {
public:
    Program(const QString& profile, const QString& host, const QString& display) {
        process.setProcessEnvironment(apptest::programEnvironment(profile, host, display));
        process.setWorkingDirectory(profile);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(OMBRIX_PROGRAM, {});
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    bool says(const QByteArray& text, int timeoutMs = 60000) {
        return readUntil(
            process, output, [&] { return output.contains(text); }, timeoutMs);
    }
    void signal(int number) { ::kill(static_cast<pid_t>(process.processId()), number); }
    // Exit status 0 after a normal end within the time.
    bool endsCleanlyWithin(int timeoutMs) {
        const bool ended = process.waitForFinished(timeoutMs);
        output += process.readAll();
        return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    std::string log() const { return output.toStdString(); }

    QProcess process;
    QByteArray output;
};

// Drives the pointer and the keyboard of a display as a user does (xdotool, through the X test
// extension).
class Hands {
public:
    explicit Hands(const QString& display) : display(display) {}
    static bool available() { return !QStandardPaths::findExecutable("xdotool").isEmpty(); }

    // The id of the visible window of exactly that title; "" when there is none.
    QString window(const QString& title) const {
        const QStringList ids = run({"search", "--onlyvisible", "--name",
                                     "^" + QRegularExpression::escape(title) + "$"})
                                    .split('\n', Qt::SkipEmptyParts);
        return ids.isEmpty() ? QString() : ids.first();
    }
    void click(const QString& window, int x, int y) const {
        run({"mousemove", "--window", window, QString::number(x), QString::number(y), "click",
             "1"});
    }
    void press(const QString& window, const QString& key) const {
        run({"windowfocus", "--sync", window});
        run({"key", key});
    }
    // What the window tells a window manager about its size (xprop's WM_NORMAL_HINTS).
    QString sizeHints(const QString& window) const {
        QProcess xprop;
        xprop.start("xprop", {"-display", display, "-id", window, "WM_NORMAL_HINTS"});
        xprop.waitForFinished(10000);
        return QString::fromUtf8(xprop.readAllStandardOutput());
    }
    // Until the window of that title is gone, or timeoutMs.
    bool waitUntilGone(const QString& title, int timeoutMs) const {
        QElapsedTimer timer;
        timer.start();
        while (!window(title).isEmpty() && timer.elapsed() < timeoutMs) {
            QThread::msleep(100);
        }
        return window(title).isEmpty();
    }

private:
    QString run(const QStringList& arguments) const {
        QProcess xdotool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display);
        xdotool.setProcessEnvironment(environment);
        xdotool.start("xdotool", arguments);
        xdotool.waitForFinished(10000);
        return QString::fromUtf8(xdotool.readAllStandardOutput());
    }
    const QString display;
};

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(profile.isValid());
        ASSERT_TRUE(display.isRunning());
    }
    void saveSettings(const QVariantList& locations, const QString& current) {
        apptest::saveProgramSettings(iniPath(), locations, current);
    }
    QString iniPath() const { return profile.filePath("Ombrix/Ombrix.ini"); }
    QString logPath() const { return profile.filePath("Ombrix/Ombrix.log"); }

    QTemporaryDir profile;
    apptest::PrivateDisplay display{1280, 1024};
};

// The service is not there at start and comes up five seconds later: the saved location stays
// current and every feed arrives by the scheduler's own retries, with no click.
TEST_F(LifecycleTest, TheSavedLocationsWeatherArrivesOnceTheServiceComesUpAfterTheStart) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    saveSettings(kAustin, "Austin, TX");
    const quint16 port = closedPort();
    ASSERT_NE(port, 0);
    QElapsedTimer sinceStart;
    sinceStart.start();
    Program program(profile.path(), "127.0.0.1:" + QString::number(port), display.name());
    ASSERT_TRUE(program.says("INFO: Ombrix init complete.")) << program.log();
    EXPECT_TRUE(program.output.contains("The weather service did not answer for Austin, TX."))
        << program.log();

    // The outage lasts five seconds from the start.
    QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, 5000 - sinceStart.elapsed())));
    Nws nws;
    ASSERT_TRUE(nws.start(port)) << nws.output.toStdString();
    // Every feed retries after 15 s, the alerts too: they no longer wait for their next
    // 120 s round, which would come only after these deadlines.
    EXPECT_TRUE(nws.heard("GET /xml/current_obs/KATT\\.xml 200", 60000)) << program.log();
    EXPECT_TRUE(
        nws.heard("GET /MapClick\\.php\\?lat=30\\.\\d+&lon=-97\\.\\d+&FcstType=dwml 200", 60000))
        << nws.output.toStdString();
    EXPECT_LT(sinceStart.elapsed(), 100000) << "too late to tell a retry from the next round";
    EXPECT_TRUE(nws.heard("GET /cap/wwaatmget\\.php\\?x=TXC453 200",
                          static_cast<int>(std::max<qint64>(1000, 110000 - sinceStart.elapsed()))))
        << nws.output.toStdString();
    EXPECT_TRUE(program.says("INFO: Current conditions update complete.", 10000)) << program.log();

    program.signal(SIGTERM);
    EXPECT_TRUE(program.endsCleanlyWithin(10000)) << program.log();
    EXPECT_EQ(QSettings(iniPath(), QSettings::IniFormat).value("CURRENT_LOCATION").toString(),
              "Austin, TX");
}

// A new user's first minutes with the real program: its windows tell a window manager that
// their size is fixed; Escape in the main window does not end it; the banner opens the
// options, titled so; closing them without a location is refused once,
// saying why, and the second close leaves; the program runs on, writes no location, and ends
// cleanly as closing its window does.
TEST_F(LifecycleTest, AFirstRunLeavesTheOptionsWithoutALocationAndEndsAsUsual) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    if (!Hands::available()) {
        GTEST_SKIP() << "xdotool is not installed (tools/install-deps.sh installs it)";
    }
    Nws nws;
    ASSERT_TRUE(nws.start(0)) << nws.output.toStdString();
    Program program(profile.path(), nws.host, display.name());
    ASSERT_TRUE(program.says("INFO: Ombrix init complete.")) << program.log();
    ASSERT_TRUE(display.waitForWindow("Ombrix", 20000));
    const Hands hands(display.name());
    const QString main = hands.window("Ombrix");
    ASSERT_FALSE(main.isEmpty());

    // A window manager may not resize it: its minimum and maximum are its size.
    const QString mainHints = hands.sizeHints(main);
    EXPECT_TRUE(mainHints.contains("minimum size: 800 by 650")) << mainHints.toStdString();
    EXPECT_TRUE(mainHints.contains("maximum size: 800 by 650")) << mainHints.toStdString();

    hands.press(main, "Escape");
    // Given the time a closing window would take, the window is still there.
    QThread::msleep(1000);
    EXPECT_EQ(program.process.state(), QProcess::Running) << program.log();
    EXPECT_FALSE(hands.window("Ombrix").isEmpty()) << "Escape closed the main window";

    hands.click(main, 300, 22);  // the banner
    ASSERT_TRUE(display.waitForWindow("Ombrix - Options", 20000)) << program.log();
    const QString options = hands.window("Ombrix - Options");
    const QString optionsHints = hands.sizeHints(options);
    EXPECT_TRUE(optionsHints.contains("maximum size: 600 by 500")) << optionsHints.toStdString();
    display.grabWhenStill(300, 5000);
    hands.click(options, 530, 13);  // its close button
    const QImage refused = display.grabWhenStill(300, 5000);
    EXPECT_FALSE(hands.window("Ombrix - Options").isEmpty()) << "the first close is refused";
    QDir().mkpath(OMBRIX_ARTEFACT_DIR);
    refused.save(OMBRIX_ARTEFACT_DIR "/first-run-real-close-refused.png");
    hands.click(options, 530, 13);
    EXPECT_TRUE(hands.waitUntilGone("Ombrix - Options", 10000)) << "the second close leaves";
    display.grabWhenStill(300, 5000).save(OMBRIX_ARTEFACT_DIR "/first-run-real-left.png");

    EXPECT_EQ(program.process.state(), QProcess::Running) << program.log();
    EXPECT_FALSE(hands.window("Ombrix").isEmpty());
    program.signal(SIGTERM);
    EXPECT_TRUE(program.endsCleanlyWithin(10000)) << program.log();
    EXPECT_FALSE(QSettings(iniPath(), QSettings::IniFormat).contains("CURRENT_LOCATION"));
}

// A notice at start (a saved list that cannot be read; a service that does not answer) does not
// keep a termination signal from ending the program at once and cleanly.
TEST_F(LifecycleTest, ATerminationSignalEndsTheProgramWhileItsStartUpNoticeIsOpen) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    struct Case {
        const char* name;
        QVariantList locations;
        QString current;
    };
    QVariantList thirteen = kAustin;
    thirteen += kAustin.mid(0, 6);
    const Case cases[] = {{"saved locations that cannot be read", thirteen, QString()},
                          {"a service that does not answer", kAustin, "Austin, TX"}};
    const QString host = "127.0.0.1:" + QString::number(closedPort());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(iniPath());
        saveSettings(c.locations, c.current);
        Program program(profile.path(), host, display.name());
        ASSERT_TRUE(program.says("INFO: Ombrix init complete.")) << program.log();
        // The window and its notice are on the screen.
        display.grabWhenStill(500, 10000);
        ASSERT_EQ(program.process.state(), QProcess::Running) << program.log();

        // An open notice that held the signal back would keep the program for good; a bound
        // far above a loaded machine's shutdown tells the two apart.
        program.signal(SIGTERM);
        EXPECT_TRUE(program.endsCleanlyWithin(30000)) << program.log();
        EXPECT_EQ(QSettings(iniPath(), QSettings::IniFormat).value("ALL_LOCATIONS").toList(),
                  c.locations);
    }
}

// One profile, one running program: a second one says so and leaves the first one's log,
// settings and work alone; a lock left by a program that was killed does not keep the next
// one from starting.
TEST_F(LifecycleTest, ASecondProgramOnTheSameProfileLeavesTheFirstOneAlone) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    Nws nws;
    ASSERT_TRUE(nws.start(0)) << nws.output.toStdString();
    saveSettings(kAustin, "Austin, TX");
    Program first(profile.path(), nws.host, display.name());
    ASSERT_TRUE(first.says("INFO: Ombrix init complete.")) << first.log();
    ASSERT_TRUE(nws.heard("GET /cap/wwaatmget\\.php\\?x=TXC453 200", 60000));

    {
        Program second(profile.path(), nws.host, display.name());
        EXPECT_TRUE(second.says("Ombrix is already running.", 30000)) << second.log();
        // It waits for the user to read its message; a signal ends it as well.
        second.signal(SIGTERM);
        ASSERT_TRUE(second.process.waitForFinished(5000));
        EXPECT_EQ(second.process.exitCode(), 1);
        EXPECT_FALSE(second.output.contains("initializing")) << second.log();
    }

    // The first one runs on and is the only writer of its log.
    EXPECT_EQ(first.process.state(), QProcess::Running);
    first.signal(SIGTERM);
    EXPECT_TRUE(first.endsCleanlyWithin(30000)) << first.log();
    QFile log(logPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray written = log.readAll();
    EXPECT_FALSE(written.contains('\0'));
    EXPECT_EQ(written.count("Ombrix version 2.0 initializing..."), 1) << written.toStdString();
    EXPECT_TRUE(written.contains("INFO: Ombrix init complete."));
    EXPECT_EQ(QSettings(iniPath(), QSettings::IniFormat).value("CURRENT_LOCATION").toString(),
              "Austin, TX");

    // Killed, a program leaves its lock behind; the next start takes it over.
    {
        Program killed(profile.path(), nws.host, display.name());
        ASSERT_TRUE(killed.says("INFO: Ombrix init complete.")) << killed.log();
        killed.signal(SIGKILL);
        ASSERT_TRUE(killed.process.waitForFinished(10000));
    }
    ASSERT_TRUE(QFile::exists(profile.filePath("Ombrix/Ombrix.lock")));
    Program next(profile.path(), nws.host, display.name());
    EXPECT_TRUE(next.says("INFO: Ombrix init complete.")) << next.log();
    EXPECT_FALSE(next.output.contains("already running"));
    next.signal(SIGTERM);
    EXPECT_TRUE(next.endsCleanlyWithin(30000)) << next.log();
}

}  // namespace
