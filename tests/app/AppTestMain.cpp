// GoogleTest entry point for the desktop program's tests: a QApplication exists for the whole
// run (under the virtual display), and the user profile is a temporary folder, so no test
// touches the real settings of the user who runs them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

#include "shell/GlDriverPin.h"

// See tests/support/TestMain.cpp: races inside uninstrumented Qt and glibc code. Qt and the
// sound server's client library are not instrumented, so the memory calls they make for
// posted events, images and audio look unsynchronised: interceptors called from them are not
// recorded. The program's own accesses are still seen. Xlib destroys a mutex of its own while
// it holds it as the process ends; Mesa's GLX library unlocks a mutex of its own on another
// thread than the one that locked it, and takes its locks and Xlib's in either order on the
// GUI thread. A queued call's functor crosses to the GUI thread inside
// Qt's event queue, so the call's own read of it (Qt's inline header) looks unsynchronised.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition\n"
           "race:qobjectdefs_impl.h\n"
           "mutex:libX11.so.6\n"
           "mutex:libGLX_mesa.so.0\n"
           "deadlock:libGLX.so.0\n"
           "race:swrast_dri.so\n"
           "race:tzset_internal\n"
           "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6XcbQpa.so.6\n"
           "called_from_lib:libxcb.so.1\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libQt6Multimedia.so.6\n"
           "called_from_lib:libpulse.so.0\n"
           "called_from_lib:libpulsecommon-16.1.so\n";
}

#if defined(__SANITIZE_ADDRESS__)
// See app/LeakCheck.cpp: a buffer the session bus library keeps after the system tray question.
// Mesa's software renderer: kept loaded at the end of main (keepGlDriverLoaded), so named.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:_dri.so\n";
}
#endif

int main(int argc, char** argv) {
    // As in app/main.cpp: Mesa's software renderer on the calling thread. Its pool of worker
    // threads is torn down while the leak checker stops the process at exit, and the checker's
    // tracer then dies of a segmentation fault (1 run in 25 of a main-window test, 8 at once).
    setenv("LP_NUM_THREADS", "0", 0);
    QTemporaryDir profile;
    qputenv("XDG_CONFIG_HOME", profile.path().toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Ombrix");
    QCoreApplication::setApplicationName("Ombrix");
    QSettings::setDefaultFormat(QSettings::IniFormat);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
    keepGlDriverLoaded();
#endif
    return result;
}
