#include "shell/Startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <exception>
#include <iostream>

#include "base/FatalError.h"
#include "base/UserProfile.h"
#include "services/Logger.h"
#include "services/TaskScheduler.h"
#include "shell/CrashHandler.h"
#include "shell/Vesparo.h"
#include "shell/VesparoEventFilter.h"
#include "widgets/ToolTipStyle.h"
#include "widgets/VPMessageBox.h"

namespace {

int quitPipe[2] = {-1, -1};
// Set by a termination signal while the main window is being built: it is then not run.
bool quitRequested = false;

// Broken into lines that each fit the box: left to the box, the second line wrapped by a
// pixel and left "is." alone on a line of its own.
const char* const kAlreadyRunning =
    "Ombrix is already running.\nOnly one Ombrix can use a profile at a time:\nthe one that "
    "is running stays as it is.";

void onQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
}

}  // namespace

// SIGTERM (a session ending, a service manager) and SIGINT end the program as closing the
// window does, so it shuts its threads down and exits cleanly. The handler only writes to a
// pipe; the GUI thread reads it. QCoreApplication::quit would not do: it ends only the main
// loop, does nothing before that loop runs, and gives way to a window that refuses to close
// (the options dialog with an invalid page). exit ends every running loop, the nested ones of
// message boxes and dialogs included, and later nested loops return at once.
void quitOnTerminationSignals(QApplication& app) {
    if (quitPipe[0] < 0 && ::pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        while (::read(quitPipe[0], &byte, 1) > 0) {
        }
        quitRequested = true;
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

namespace {

// Whether the lock's owner is a live program of ours on this host. An owner that cannot be
// told (an empty or garbage lock, as a kill or a power cut just after its creation leaves; one
// written on another host of a shared home) counts as gone: a lock-out for good is worse than
// the rare second program on a shared profile.
bool heldByALiveProgram(const QLockFile& lock, const QString& path) {
    qint64 pid = 0;
    QString host;
    QString application;
    // A program that has just created its lock writes its owner at once: give it a moment.
    for (int attempt = 0; !lock.getLockInfo(&pid, &host, &application); ++attempt) {
        const qint64 age = QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime());
        if (attempt >= 5 || age > 2000 || age < 0) {
            return false;
        }
        QThread::msleep(100);
    }
    if (pid <= 0 || host != QSysInfo::machineHostName()) {
        return false;
    }
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) {
        return false;
    }
    // A live process with the pid of a dead owner may be any program.
    QFile comm(QString("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) {
        return true;
    }
    return QString::fromUtf8(comm.readAll()).trimmed() ==
           QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
}

// Why a file cannot be created in folder (the system's reason), or empty when it can.
QString folderWriteError(const QString& folder) {
    if (!QDir().mkpath(folder)) {
        const QFileInfo info(QDir::cleanPath(folder));
        return info.exists() && !info.isDir() ? QString("it is not a folder")
                                              : QString("it cannot be created");
    }
    const QByteArray probe = QFile::encodeName(folder + "/Ombrix.lock");
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    ::close(fd);
    return QString();
}

}  // namespace

std::unique_ptr<QLockFile> lockProfile(QString& refusal, QString& folderError) {
    refusal.clear();
    folderError.clear();
    const QString folder = QString::fromStdString(UserProfile::folder());
    const QString path = folder + "Ombrix.lock";
    const QString kind = UserProfile::irregularKind(path);
    if (!kind.isEmpty()) {
        refusal = "Ombrix cannot start: its lock " + path + " is " + kind +
                  ", not a file, so it cannot tell whether another Ombrix uses this "
                  "profile.\nIf none does, remove " +
                  path + " and start Ombrix again.";
        return nullptr;
    }
    folderError = folderWriteError(folder);
    if (!folderError.isEmpty()) {
        // No sign of another program: the program runs, and says at start what it cannot do.
        return std::make_unique<QLockFile>(path);
    }
    auto lock = std::make_unique<QLockFile>(path);
    // Staleness is decided here, by the owner, however long it has run.
    lock->setStaleLockTime(0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (lock->tryLock(0)) {
            return lock;
        }
        if (lock->error() != QLockFile::LockFailedError) {
            folderError = "its lock " + path + " cannot be written";
            return lock;
        }
        if (heldByALiveProgram(*lock, path)) {
            break;
        }
        // Another program starting at this moment may win the file: then the second try fails.
        lock->removeStaleLockFile();
        QFile::remove(path);
    }
    refusal = kAlreadyRunning;
    return nullptr;
}

QString applicationStyleSheet() {
    const char* const rules[] = {
        "QLabel { color: white; font-family: Helvetica; font-size: 12px; }",
        "QMessageBox { background-color: rgb(25, 25, 112) }",
        "QListWidget { background-color: transparent; border: 1px inset white; font-family: "
        "Helvetica; font-size: 12px; selection-color: white; selection-background-color: "
        "transparent; } QListWidget::item {color: white; }",
        "QGroupBox::title { color: white; }",
        "QCheckBox { color: white; font-family: Helvetica; font-size: 12px; }",
        "QRadioButton { color: white; font-family: Helvetica; font-size: 12px; }",
        // After the QLabel rule, which the tips' label matches as well.
        TOOL_TIP_STYLE};
    QStringList sheet;
    for (const char* rule : rules) {
        sheet << rule;
    }
    return sheet.join(" ");
}

QString alreadyRunningText() {
    return QString::fromUtf8(kAlreadyRunning);
}

int runMainWindow(const std::function<std::unique_ptr<QWidget>()>& makeWindow) {
    int result = 0;
    quitRequested = false;
    try {
        const std::unique_ptr<QWidget> window = makeWindow();
        // A termination signal that came while the window was being built (in a nested loop
        // of a box or a network wait) ends the run here.
        if (!quitRequested) {
            window->show();
            result = QApplication::exec();
        }
    } catch (const std::exception& e) {
        reportFatalError(e.what());
        result = 1;
    } catch (...) {
        reportFatalError("Unhandled exception");
        result = 1;
    }
    return result;
}

QStringList prepareProfile(const QString& folderError) {
    const std::string folder = UserProfile::folder();
    const QStringList notices = UserProfile::check(folderError);
    if (folderError.isEmpty()) {
        UserProfile::removeStaleSettingsLock();
    }
    CrashHandler::prepare(folder);
    vpcore::Logger::Instance().setFile(folder + "Ombrix.log");
    for (const QString& notice : notices) {
        std::cerr << notice.toStdString() << std::endl;
        vpcore::Logger::Instance().log("WARN", QString(notice).replace('\n', ' ').toStdString());
    }
    return notices;
}

int ombrixMain(int argc, char** argv) {
    if (!CrashHandler::isTracerAttached()) {
        CrashHandler::install();
    }
    QApplication app(argc, argv);
    app.setStyleSheet(applicationStyleSheet());
    VesparoEventFilter filter;
    app.installEventFilter(&filter);
    quitOnTerminationSignals(app);
    // Before anything is written into the profile: a second program on it would truncate the
    // first one's log and write the same settings and caches.
    QCoreApplication::setOrganizationName("Ombrix");
    QCoreApplication::setApplicationName("Ombrix");
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QString refusal;
    QString folderError;
    const std::unique_ptr<QLockFile> profileLock = lockProfile(refusal, folderError);
    if (!profileLock) {
        std::cerr << refusal.toStdString() << std::endl;
        VPMessageBox::information(nullptr, "Ombrix", refusal);
        return 1;
    }
    const QStringList notices = prepareProfile(folderError);
    const int result = runMainWindow([&notices] {
        auto window = std::make_unique<Vesparo>(nullptr);
        if (!notices.isEmpty()) {
            VPMessageBox::informationLater(window.get(), "Ombrix", notices.join("\n\n"));
        }
        return window;
    });
    // The scheduler's threads run the core's tasks: they must stop while the services those
    // tasks use (status service, models) still exist.
    vpcore::TaskScheduler::instance().shutdown();
    return result;
}
