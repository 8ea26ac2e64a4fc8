#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <stdexcept>
#include <thread>

#include "AppTestSupport.h"
#include "FatalError.h"
#include "Startup.h"
#include "TempDir.h"
#include "VespWindow.h"
#include "Vesparo.h"

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
    EXPECT_EQ(applicationStyleSheet().count("} Q"), 6);
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

}  // namespace
