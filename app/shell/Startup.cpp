#include "Startup.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstring>
#include <exception>

#include "CrashHandler.h"
#include "FatalError.h"
#include "Vesparo.h"
#include "VesparoEventFilter.h"
#include "services/TaskScheduler.h"

namespace {

int quitPipe[2] = {-1, -1};

void onQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
}

// SIGTERM (a session ending, a service manager) and SIGINT end the event loop as closing the
// window does, so the program shuts its threads down and exits cleanly. The handler only
// writes to a pipe; the GUI thread reads it.
void quitOnTerminationSignals(QApplication& app) {
    if (::pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        while (::read(quitPipe[0], &byte, 1) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

QString applicationStyleSheet() {
    const char* const rules[] = {
        "QLabel { color: white; font-family: Helvetica; font-size: 12px; }",
        "QMessageBox { background-color: rgb(25, 25, 112) }",
        "QListWidget { background-color: transparent; border: 1px inset white; font-family: "
        "Helvetica; font-size: 12px; selection-color: white; selection-background-color: "
        "transparent; } QListWidget::item {color: white; }",
        "QGroupBox::title { color: white; }",
        "QCheckBox { color: white; font-family: Helvetica; font-size: 12px; }",
        "QRadioButton { color: white; font-family: Helvetica; font-size: 12px; }"};
    QStringList sheet;
    for (const char* rule : rules) {
        sheet << rule;
    }
    return sheet.join(" ");
}

int runMainWindow(const std::function<std::unique_ptr<QWidget>()>& makeWindow) {
    int result = 0;
    try {
        const std::unique_ptr<QWidget> window = makeWindow();
        window->show();
        result = QApplication::exec();
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
