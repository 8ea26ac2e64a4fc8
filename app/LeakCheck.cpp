// The program's leak-checker set-up, built into it only with OMBRIX_ASAN.
#include <QCoreApplication>

#include "shell/GlDriverPin.h"

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
