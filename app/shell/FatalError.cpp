#include "FatalError.h"

#include <QApplication>
#include <QThread>
#include <QWidget>
#include <fstream>

#include "VPDataEvent.h"
#include "VPMessageBox.h"
#include "Vesparo.h"
#include "services/QSleeper.h"

QString fatalErrorText(const std::string& detail) {
    return "The application has encountered an abnormal condition.\n" +
           QString::fromStdString(detail) + "\n" + "Sorry for the inconvenience.\n" +
           "Please restart the application.";
}

void reportFatalError(const std::string& detail) {
    const QString text = fatalErrorText(detail);
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread()) {
        // A posted message would never be delivered while this thread sleeps, and at start-up
        // there is no active window to post it to: show it here.
        VPMessageBox::critical(QApplication::activeWindow(), QString(), text);
    } else if (QWidget* window = QApplication::activeWindow()) {
        QCoreApplication::postEvent(window, new VPDataEventQString(text));
        QtUtils::QSleeper::msleep(7000);
    }
    std::ofstream log(Vesparo::userDataDir() + "crash.log", std::ios::out | std::ios::trunc);
    if (log) {
        log << text.toStdString();
    }
}
