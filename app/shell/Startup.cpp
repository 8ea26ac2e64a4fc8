#include "Startup.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QSocketNotifier>
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>

#include "CrashHandler.h"
#include "FatalError.h"
#include "ToolTipStyle.h"
#include "VPMessageBox.h"
#include "Vesparo.h"
#include "VesparoEventFilter.h"
#include "services/TaskScheduler.h"

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

std::unique_ptr<QLockFile> lockProfile() {
    // The folder of the settings file, found without writing the settings.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    const QString folder = QFileInfo(QSettings().fileName()).absolutePath();
    QDir().mkpath(folder);
    auto lock = std::make_unique<QLockFile>(folder + "/Ombrix.lock");
    // Only a lock whose program has ended is stale, however long the holder has run.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
        return nullptr;
    }
    // Any other failure (a folder that cannot be written) is no sign of another program: the
    // program runs and meets that failure where it writes.
    return lock;
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
    const std::unique_ptr<QLockFile> profileLock = lockProfile();
    if (!profileLock) {
        std::cerr << kAlreadyRunning << std::endl;
        VPMessageBox::information(nullptr, "Ombrix", alreadyRunningText());
        return 1;
    }
    const int result = runMainWindow([] { return std::make_unique<Vesparo>(nullptr); });
    // The scheduler's threads run the core's tasks: they must stop while the services those
    // tasks use (status service, models) still exist.
    vpcore::TaskScheduler::instance().shutdown();
    return result;
}

namespace {

int keepDriverLoaded(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "_dri.so") != nullptr) {
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
    return 0;
}

}  // namespace

void keepGlDriverLoaded() {
    dl_iterate_phdr(keepDriverLoaded, nullptr);
}
