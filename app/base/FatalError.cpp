#include "base/FatalError.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QMetaObject>
#include <QThread>
#include <QWidget>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <iostream>
#include <memory>

#include "base/UserProfile.h"
#include "services/PlainFile.h"
#include "services/QSleeper.h"
#include "widgets/VPDataEvent.h"
#include "widgets/VPMessageBox.h"

QString fatalErrorText(const std::string& detail) {
    return "The application has encountered an abnormal condition.\n" +
           QString::fromStdString(detail) + "\n" + "Sorry for the inconvenience.\n" +
           "Please restart the application.";
}

namespace {

// How long a worker waits for the GUI thread to say whether a window took the message; a GUI
// thread that is busy (or waits for this very worker) must not hold the report back.
const std::chrono::milliseconds kWindowAnswerWait(1000);

// The active window belongs to the GUI thread: it is looked up there, by a queued call, and the
// message is posted to it from there. True when a window took the message in time.
bool postToActiveWindow(QCoreApplication& app, const QString& text) {
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> posted = answer->get_future();
    QMetaObject::invokeMethod(
        &app,
        [answer, text] {
            QWidget* window = QApplication::activeWindow();
            if (window != nullptr) {
                QCoreApplication::postEvent(window, new VPDataEventQString(text));
            }
            answer->set_value(window != nullptr);
        },
        Qt::QueuedConnection);
    return posted.wait_for(kWindowAnswerWait) == std::future_status::ready && posted.get();
}

// Never opens anything but a regular file (a FIFO would block); a failed write is told on
// standard error, the one place left.
void writeCrashLog(const std::string& path, const std::string& text) {
    std::string problem;
    const int fd = vpcore::PlainFile::openRegular(path.c_str(), O_WRONLY | O_CREAT);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
        !vpcore::PlainFile::writeAll(fd, text.data(), text.size())) {
        problem = vpcore::PlainFile::reasonOf(errno);
    }
    if (fd >= 0 && ::close(fd) != 0 && problem.empty()) {
        problem = std::strerror(errno);
    }
    if (!problem.empty()) {
        std::cerr << "Could not write " << path << ": " << problem << std::endl;
    }
}

}  // namespace

void reportFatalError(const std::string& detail) {
    const QString text = fatalErrorText(detail);
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread()) {
        // A posted message would never be delivered while this thread sleeps, and at start-up
        // there is no active window to post it to: show it here.
        VPMessageBox::critical(QApplication::activeWindow(), QString(), text);
    } else if (app != nullptr && postToActiveWindow(*app, text)) {
        QtUtils::QSleeper::msleep(7000);
    }
    // The start-up made the folder; a report before that makes it here.
    QDir().mkpath(QString::fromStdString(UserProfile::folder()));
    writeCrashLog(UserProfile::folder() + "crash.log", text.toStdString());
}
