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
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
