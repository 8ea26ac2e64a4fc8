#include <cstdlib>

#include "Startup.h"

int main(int argc, char** argv) {
    // Mesa's software renderer draws the few small frames of the gauges as fast on the calling
    // thread as on a pool of one thread per core, whose stacks and wake-ups it would otherwise
    // keep for the whole run; the picture is the same. Set before the GL library loads, and
    // only when the user has not chosen.
    setenv("LP_NUM_THREADS", "0", 0);
    return ombrixMain(argc, argv);
}
