#include "FatalError.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>

#include "VPDataEvent.h"
#include "VPMessageBox.h"
#include "Vesparo.h"
#include "services/QSleeper.h"

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
    std::ofstream log(Vesparo::userDataDir() + "crash.log", std::ios::out | std::ios::trunc);
    if (log) {
        log << text.toStdString();
    }
}
