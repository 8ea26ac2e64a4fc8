// Entry point of display_tests: a QGuiApplication, as images and OpenGL contexts need; it wins
// over the QCoreApplication main of the test support library.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>

#include "TsanSuppressions.h"

int main(int argc, char** argv) {
    // Without any display (a run outside xvfb-run) the GUI tests still start; the GL tests
    // then skip themselves.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0') &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
