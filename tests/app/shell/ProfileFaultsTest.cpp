// The real program on a profile that faults have left behind: stale locks, files of the wrong
// kind, a settings file that is no settings file, a folder that cannot be written, the traces
// of a crash. Each case starts the real binary on the shared display with a profile of its own
// and without a saved location (so nothing is fetched), then ends it with SIGTERM.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <string>

#include "AppTestSupport.h"

namespace {

using apptest::readUntil;

const QByteArray kInitComplete = "INFO: Ombrix init complete.";

#if defined(__SANITIZE_THREAD__)
// The suppressions of these tests (AppTestMain.cpp): the program under test is built with the
// same sanitizer and runs the same uninstrumented libraries.
extern "C" const char* __tsan_default_suppressions();

QString sanitizerSuppressions() {
    static QTemporaryDir folder;
    const QString path = folder.filePath("tsan.supp");
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly)) {
        file.write(__tsan_default_suppressions());
    }
    return path;
}
#endif

// One run of the real program on a profile folder (XDG_CONFIG_HOME), its output merged.
class ProgramRun {
public:
    explicit ProgramRun(const QString& configHome) {
        QProcessEnvironment environment =
            apptest::programEnvironment(configHome, "127.0.0.1:1", qEnvironmentVariable("DISPLAY"));
#if defined(__SANITIZE_THREAD__)
        environment.insert("TSAN_OPTIONS", "suppressions=" + sanitizerSuppressions());
#endif
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(configHome);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(OMBRIX_PROGRAM, {});
        started.start();
    }
    ~ProgramRun() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool says(const QByteArray& text, int timeoutMs = 120000) {
        return readUntil(
            process, output, [&] { return output.contains(text); }, timeoutMs);
    }
    // SIGTERM, then the exit code of a normal end (-1 for none within the time).
    int terminate(int timeoutMs = 60000) {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        const bool ended = process.waitForFinished(timeoutMs);
        output += process.readAll();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    std::string log() const {
        return output.toStdString();
    }

    QProcess process;
    QByteArray output;
    QElapsedTimer started;
};

class ProfileFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(folder()));
    }
    QString folder() const { return home.filePath("Ombrix"); }
    QString file(const char* name) const { return folder() + "/" + name; }
    void write(const char* name, const QByteArray& bytes) const {
        QFile out(file(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(out.write(bytes), bytes.size());
    }
    static bool isFifo(const QString& path) {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
    }

    QTemporaryDir home;
};

// A lock that no live program of ours holds is taken over, whatever is in it: nothing (a kill
// or a power cut just after it was made), garbage, the owner of another host (a shared home),
// a dead process, or a live process that is not Ombrix (a pid used again).
TEST_F(ProfileFaultsTest, AStaleLockOfAnyKindIsTakenOver) {
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const struct {
        const char* name;
        QByteArray content;
    } cases[] = {
        {"empty", ""},
        {"garbage", QByteArray::fromHex("0102206e6f742061206c6f636b20ff0a")},
        {"another host", "4242\nOmbrix\nanother-host.example.org\n"},
        {"a dead process", "2147483000\nOmbrix\n" + host + "\n"},
        {"a live process that is not Ombrix",
         QByteArray::number(static_cast<qint64>(::getpid())) + "\nOmbrix\n" + host + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write("Ombrix.lock", c.content);
        ProgramRun run(home.path());
        EXPECT_TRUE(run.says(kInitComplete)) << run.log();
        EXPECT_FALSE(run.output.contains("already running")) << run.log();
        EXPECT_EQ(run.terminate(), 0) << run.log();
        // A clean end takes its lock away.
        EXPECT_FALSE(QFile::exists(file("Ombrix.lock")));
    }
}

// A folder in place of the lock cannot be taken over: the program says what is wrong and
// where, and does not start; SIGTERM ends it while it says so.
TEST_F(ProfileFaultsTest, ALockThatIsAFolderIsNamedAndTheProgramDoesNotStart) {
    ASSERT_TRUE(QDir().mkpath(file("Ombrix.lock")));
    ProgramRun run(home.path());
    const QByteArray expected = "Ombrix cannot start: its lock " + file("Ombrix.lock").toUtf8() +
                                " is a folder, not a file";
    EXPECT_TRUE(run.says(expected)) << run.log();
    EXPECT_EQ(run.terminate(), 1) << run.log();
    EXPECT_FALSE(run.output.contains("already running")) << run.log();
    EXPECT_FALSE(run.output.contains("initializing")) << run.log();
    EXPECT_TRUE(QFileInfo(file("Ombrix.lock")).isDir());
}

// A lock of QSettings left by a kill during a save would make the first settings write wait
// until it is 30 s old; a fresh profile writes the installed version at once. Measured against
// a start without it on the same machine, so that only the wait can fail the test.
TEST_F(ProfileFaultsTest, ASettingsLockLeftByAKillDoesNotHoldTheStartBack) {
    qint64 clean = 0;
    {
        QTemporaryDir other;
        ProgramRun run(other.path());
        ASSERT_TRUE(run.says(kInitComplete)) << run.log();
        clean = run.started.elapsed();
        EXPECT_EQ(run.terminate(), 0) << run.log();
    }
    write("Ombrix.ini.lock", "");
    ProgramRun run(home.path());
    ASSERT_TRUE(run.says(kInitComplete)) << run.log();
    EXPECT_LT(run.started.elapsed(), clean + 20000) << run.log();
    EXPECT_EQ(QSettings(file("Ombrix.ini"), QSettings::IniFormat).value("Ombrix").toString(),
              "2.0");
    EXPECT_FALSE(QFile::exists(file("Ombrix.ini.lock")));
    EXPECT_EQ(run.terminate(), 0) << run.log();
}

// A start that changes no setting writes no setting: the settings file stays as it was.
TEST_F(ProfileFaultsTest, AStartThatChangesNothingWritesNoSettings) {
    {
        ProgramRun first(home.path());
        ASSERT_TRUE(first.says(kInitComplete)) << first.log();
        EXPECT_EQ(first.terminate(), 0) << first.log();
    }
    ASSERT_TRUE(QFile::exists(file("Ombrix.ini")));
    QFile ini(file("Ombrix.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray before = ini.readAll();
    ini.close();
    // Older than anything the next run could write.
    const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
    ASSERT_TRUE(ini.open(QIODevice::ReadWrite));
    ASSERT_TRUE(ini.setFileTime(old, QFileDevice::FileModificationTime));
    ini.close();

    ProgramRun second(home.path());
    ASSERT_TRUE(second.says(kInitComplete)) << second.log();
    EXPECT_EQ(second.terminate(), 0) << second.log();
    EXPECT_EQ(QFileInfo(file("Ombrix.ini")).lastModified(), old);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), before);
}

// A FIFO (or a folder) where the program keeps a file of its own is named and left alone; the
// start does not wait on it, and SIGTERM ends the program as usual.
TEST_F(ProfileFaultsTest, AFileOfTheWrongKindIsNamedAndLeftAlone) {
    const struct {
        const char* name;
        bool folder;  // else a FIFO
        const char* kind;
    } cases[] = {
        {"Ombrix.ini", false, "a FIFO (named pipe)"},
        {"CoordsCache.db", false, "a FIFO (named pipe)"},
        {"Ombrix.log", false, "a FIFO (named pipe)"},
        {"Ombrix.ini", true, "a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " as " + c.kind);
        QTemporaryDir caseHome;
        const QString path = caseHome.filePath("Ombrix/") + c.name;
        ASSERT_TRUE(QDir().mkpath(caseHome.filePath("Ombrix")));
        if (c.folder) {
            ASSERT_TRUE(QDir().mkpath(path));
        } else {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        }
        ProgramRun run(caseHome.path());
        ASSERT_TRUE(run.says(kInitComplete)) << run.log();
        EXPECT_TRUE(run.output.contains(path.toUtf8() + " is " + c.kind + ", not a file."))
            << run.log();
        EXPECT_FALSE(run.output.contains("the disk is full")) << run.log();
        EXPECT_EQ(run.terminate(), 0) << run.log();
        EXPECT_TRUE(c.folder ? QFileInfo(path).isDir() : isFifo(path));
    }
}

// A settings file that cannot be read as one is kept beside the fresh one, and the user is
// told where.
TEST_F(ProfileFaultsTest, AnUnreadableSettingsFileIsKeptAsBad) {
    const QByteArray garbage("\x00\x01\x02 [General\n\xff\xfe", 15);
    write("Ombrix.ini", garbage);
    ProgramRun run(home.path());
    ASSERT_TRUE(run.says(kInitComplete)) << run.log();
    EXPECT_TRUE(run.output.contains("The settings file " + file("Ombrix.ini").toUtf8() +
                                    " could not be read: it is kept as " +
                                    file("Ombrix.ini.bad").toUtf8()))
        << run.log();
    EXPECT_FALSE(run.output.contains("could not be written")) << run.log();
    EXPECT_EQ(run.terminate(), 0) << run.log();
    QFile bad(file("Ombrix.ini.bad"));
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_EQ(bad.readAll(), garbage);
    EXPECT_EQ(QSettings(file("Ombrix.ini"), QSettings::IniFormat).value("Ombrix").toString(),
              "2.0");
}

// A profile folder that cannot be used (here a plain file holds its name) is told once, at
// start, and the program runs.
TEST_F(ProfileFaultsTest, AnUnusableProfileFolderIsToldOnceAtStart) {
    QTemporaryDir caseHome;
    QFile plain(caseHome.filePath("Ombrix"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ProgramRun run(caseHome.path());
    ASSERT_TRUE(run.says(kInitComplete)) << run.log();
    const QByteArray notice = "Ombrix cannot write into its profile folder " +
                              caseHome.filePath("Ombrix/").toUtf8() + ": it is not a folder.";
    EXPECT_EQ(run.output.count(notice), 2) << run.log();  // standard error and the log line
    EXPECT_EQ(run.terminate(), 0) << run.log();
}

// A run that crashes names the signal; the next start keeps the crashed run's log as
// Ombrix.log.1 and says once where it and crash.log are; the start after that says nothing.
TEST_F(ProfileFaultsTest, TheNextStartAfterACrashSaysWhereItsLogAndCrashLogAre) {
    {
        ProgramRun crashed(home.path());
        ASSERT_TRUE(crashed.says(kInitComplete)) << crashed.log();
        // Standard output has each line just before the file has it.
        ASSERT_TRUE(apptest::waitFor([&] {
            QFile log(file("Ombrix.log"));
            return log.open(QIODevice::ReadOnly) && log.readAll().contains(kInitComplete);
        }));
        ::kill(static_cast<pid_t>(crashed.process.processId()), SIGABRT);
        ASSERT_TRUE(crashed.process.waitForFinished(60000));
        crashed.output += crashed.process.readAll();
        EXPECT_EQ(crashed.process.exitStatus(), QProcess::CrashExit);
        EXPECT_TRUE(crashed.output.contains("Abort (SIGABRT): a crash dump is being logged to " +
                                            file("Vesparo.dmp").toUtf8()))
            << crashed.log();
        EXPECT_FALSE(crashed.output.contains("Access violation")) << crashed.log();
    }
    const QByteArray told = "The last run of Ombrix crashed. Its log is kept as " +
                            file("Ombrix.log.1").toUtf8() + " and the crash report is " +
                            file("crash.log").toUtf8() + ".";
    {
        ProgramRun next(home.path());
        ASSERT_TRUE(next.says(kInitComplete)) << next.log();
        EXPECT_EQ(next.output.count(told), 2) << next.log();  // standard error and the log line
        EXPECT_EQ(next.terminate(), 0) << next.log();
    }
    QFile kept(file("Ombrix.log.1"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QByteArray crashedLog = kept.readAll();
    EXPECT_TRUE(crashedLog.contains(kInitComplete)) << crashedLog.toStdString();
    EXPECT_FALSE(crashedLog.contains("The last run of Ombrix crashed"));

    ProgramRun third(home.path());
    ASSERT_TRUE(third.says(kInitComplete)) << third.log();
    EXPECT_FALSE(third.output.contains("The last run of Ombrix crashed")) << third.log();
    EXPECT_EQ(third.terminate(), 0) << third.log();
}

}  // namespace
