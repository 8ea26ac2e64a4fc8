#include <cstdlib>

#include "shell/Startup.h"

int main(int argc, char** argv) {
    // The program's own setting, not a test aid. Mesa's software renderer draws the few small
    // frames of the gauges on the calling thread instead of a pool of one thread per core,
    // whose stacks and wake-ups it would otherwise keep for the whole run; the picture is the
    // same. On 8 cores (bench/startup_idle.sh, a location with alerts): 6 threads instead of
    // 22, and 0.08-0.09 % idle CPU instead of 0.10-0.12 %. Set before the GL library loads,
    // and only when the user has not chosen.
    setenv("LP_NUM_THREADS", "0", 0);
    return ombrixMain(argc, argv);
}
