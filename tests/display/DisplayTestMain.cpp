// Entry point of display_tests: a QGuiApplication, as images and OpenGL contexts need; it wins
// over the QCoreApplication main of the test support library.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>

#include "TsanSuppressions.h"

int main(int argc, char** argv) {
    // Without a reachable display (a run outside xvfb-run, or a virtual display that went
    // away) the tests still start on the offscreen platform; the GL tests then skip.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        const char* display = std::getenv("DISPLAY");
        const bool x11 = display != nullptr && *display != '\0';
        setenv("QT_QPA_PLATFORM", x11 ? "xcb;offscreen" : "offscreen", 1);
    }
    // Mesa's software renderer on the calling thread, as the program runs it. Its pool of
    // worker threads is torn down while the leak checker stops the process at exit, and the
    // checker's tracer then dies of a segmentation fault (1 run in 25 of a GL test, 8 at once).
    setenv("LP_NUM_THREADS", "0", 0);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
