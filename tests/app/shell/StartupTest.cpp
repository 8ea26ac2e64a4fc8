#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "AppTestSupport.h"
#include "StderrCapture.h"
#include "TempDir.h"
#include "base/FatalError.h"
#include "base/VespWindow.h"
#include "shell/Startup.h"
#include "shell/Vesparo.h"
#include "widgets/VPMessageBox.h"

namespace {

using testsupport::readFile;

const char* const kExpectedText =
    "The application has encountered an abnormal condition.\n"
    "Bad things\n"
    "Sorry for the inconvenience.\n"
    "Please restart the application.";

std::string crashLog() {
    return readFile(Vesparo::userDataDir() + "crash.log");
}

TEST(StartupTest, TheStyleSheetMakesLabelsWhiteHelvetica) {
    QWidget parent;
    parent.setStyleSheet(applicationStyleSheet());
    QLabel label("x", &parent);
    label.ensurePolished();
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(label.font().pixelSize(), 12);
    EXPECT_EQ(applicationStyleSheet().count("} Q"), 7);
}

// The second program's box shows its text in the lines the text gives, none broken again
// (no word left alone on a line of its own).
TEST(StartupTest, TheSecondCopysBoxKeepsItsLinesWhole) {
    qApp->setStyleSheet(applicationStyleSheet());
    const QString text = alreadyRunningText();
    QMessageBox box(QMessageBox::Information, "Ombrix", text, QMessageBox::Ok);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    apptest::drainEvents();
    const auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), text);
    const QFontMetrics metrics(label->font());
    for (const QString& line : text.split('\n')) {
        SCOPED_TRACE(line.toStdString());
        EXPECT_LE(metrics.horizontalAdvance(line), label->contentsRect().width());
    }
    qApp->setStyleSheet(QString());
}

TEST(StartupTest, AnExceptionFromTheMainWindowIsReportedAsAFatalError) {
    struct Case {
        std::function<void()> raise;
        std::string detail;
    };
    const Case cases[] = {{[] { throw std::runtime_error("Bad things"); }, "Bad things"},
                          {[] { throw 42; }, "Unhandled exception"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detail);
        apptest::MessageBoxRecorder boxes;
        const int result = runMainWindow([&c]() -> std::unique_ptr<QWidget> {
            c.raise();
            return nullptr;
        });
        EXPECT_EQ(result, 1);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes.boxes[0].title, "");
        EXPECT_EQ(boxes.boxes[0].text, fatalErrorText(c.detail));
        EXPECT_EQ(crashLog(), fatalErrorText(c.detail).toStdString());
    }
    EXPECT_EQ(fatalErrorText("Bad things"), kExpectedText);
}

TEST(StartupTest, TheEventLoopsExitCodeIsReturned) {
    QWidget* shown = nullptr;
    const int result = runMainWindow([&shown] {
        auto window = std::make_unique<QWidget>();
        shown = window.get();
        QTimer::singleShot(0, [&shown] {
            EXPECT_TRUE(shown->isVisible());
            QCoreApplication::exit(3);
        });
        return window;
    });
    EXPECT_EQ(result, 3);
}

TEST(StartupTest, FatalErrorFromAWorkerWithoutAnActiveWindowWritesAtOnce) {
    apptest::MessageBoxRecorder boxes;
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    std::thread worker([] { reportFatalError("Bad things"); });
    worker.join();
    EXPECT_EQ(crashLog(), kExpectedText);
    apptest::drainEvents();
    EXPECT_TRUE(boxes.boxes.empty());
}

// crash.log is written only when it is a regular file (a FIFO would hold the report for good);
// a write that fails is said on standard error, the one place left.
TEST(StartupTest, AFatalErrorThatCannotWriteCrashLogSaysSoOnStandardError) {
    apptest::MessageBoxRecorder boxes;
    const std::string path = Vesparo::userDataDir() + "crash.log";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Vesparo::userDataDir())));
    std::remove(path.c_str());
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    const std::string errors = testsupport::captureStderr([] {
        std::thread worker([] { reportFatalError("Bad things"); });
        worker.join();
    });
    struct stat info {};
    EXPECT_TRUE(::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    std::remove(path.c_str());
    // A FIFO without a reader refuses a non-blocking open: the system's reason is named.
    EXPECT_EQ(errors, "Could not write " + path + ": No such device or address\n");
}

TEST(StartupTest, FatalErrorFromAWorkerIsShownInTheActiveWindowWhileTheWorkerWaits) {
    struct Window : VespWindow {
        Window() : VespWindow(nullptr) { setUpWindow(); }
    } window;
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        GTEST_SKIP() << "the display gives no window the focus";
    }
    apptest::MessageBoxRecorder boxes;
    std::atomic<bool> done{false};
    std::thread worker([&done] {
        reportFatalError("Bad things");
        done = true;
    });
    ASSERT_TRUE(apptest::waitFor([&] { return !boxes.boxes.empty() || done; }));
    if (boxes.boxes.empty()) {
        // Tests that run beside this one on the same display may take the focus away.
        worker.join();
        GTEST_SKIP() << "the window lost the focus before the worker asked for it";
    }
    EXPECT_EQ(boxes.boxes[0].text, kExpectedText);
    EXPECT_FALSE(done);  // still giving the user time to read it
    ASSERT_TRUE(apptest::waitFor([&] { return done.load(); }, 20000));
    worker.join();
    EXPECT_EQ(crashLog(), kExpectedText);
}

// A dialog that will not be closed, as the options dialog on a page that is not valid.
class RefusingDialog : public QDialog {
protected:
    void closeEvent(QCloseEvent* e) override { e->ignore(); }
    void reject() override {}
};

// Termination signals go to the program's handler while it lives, then back to the default.
class TerminationSignals {
public:
    TerminationSignals() { quitOnTerminationSignals(*qApp); }
    ~TerminationSignals() {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
    }
};

TEST(StartupTest, ATerminationSignalEndsTheRunFromANestedEventLoop) {
    TerminationSignals handlers;
    struct Case {
        const char* name;
        int signal;
        // Builds the window; the signal comes while a nested loop runs.
        std::function<std::unique_ptr<QWidget>(bool& shown)> makeWindow;
    };
    const auto raiseSoon = [](int signal) {
        QTimer::singleShot(100, [signal] { std::raise(signal); });
    };
    struct Window : QWidget {
        explicit Window(bool& shown) : shown(shown) {}
        void showEvent(QShowEvent*) override { shown = true; }
        bool& shown;
    };
    const Case cases[] = {
        {"a message box while the window is built", SIGTERM,
         [&](bool& shown) -> std::unique_ptr<QWidget> {
             raiseSoon(SIGTERM);
             VPMessageBox::information(nullptr, QString(), "A notice before the window");
             return std::make_unique<Window>(shown);
         }},
        {"a dialog that refuses to close, opened from the window", SIGINT,
         [&](bool& shown) -> std::unique_ptr<QWidget> {
             auto window = std::make_unique<Window>(shown);
             QTimer::singleShot(0, window.get(), [&] {
                 RefusingDialog dialog;
                 raiseSoon(SIGINT);
                 dialog.exec();
             });
             return window;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Should the signal be lost, each loop still ends, with a code of its own: the result
        // tells which ended the run, whatever the time it took.
        QTimer fallback;
        QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        fallback.start(60000);
        bool shown = false;
        const int result = runMainWindow([&] { return c.makeWindow(shown); });
        EXPECT_EQ(result, 0);
        if (c.signal == SIGTERM) {
            EXPECT_FALSE(shown) << "a window still being built is not run";
        }
    }
}

}  // namespace
