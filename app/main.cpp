#include <cstdlib>

#include "Startup.h"

#if defined(__SANITIZE_ADDRESS__)
#include <QCoreApplication>

// Read by LeakSanitizer only: the session bus library keeps a buffer for the whole process
// after Qt asks it whether there is a system tray; Mesa's software renderer keeps per-context
// memory after the gauges' bitmap text has been drawn (kept loaded at quit, so it is named).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:_dri.so\n";
}

namespace {

void keepGlDriverLoadedAtQuit() {
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { keepGlDriverLoaded(); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(keepGlDriverLoadedAtQuit)
#endif

int main(int argc, char** argv) {
    // Mesa's software renderer draws the few small frames of the gauges as fast on the calling
    // thread as on a pool of one thread per core, whose stacks and wake-ups it would otherwise
    // keep for the whole run; the picture is the same. Set before the GL library loads, and
    // only when the user has not chosen.
    setenv("LP_NUM_THREADS", "0", 0);
    return ombrixMain(argc, argv);
}
