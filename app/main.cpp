#include "Startup.h"

#if defined(__SANITIZE_ADDRESS__)
// Read by LeakSanitizer only: the session bus library keeps a buffer for the whole process
// after Qt asks it whether there is a system tray.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
#endif

int main(int argc, char** argv) {
    return ombrixMain(argc, argv);
}
