// The ThreadSanitizer suppressions of the test executables. It defines a function: include it
// from exactly one file of each executable, the one with its main.
#pragma once

// Races that ThreadSanitizer reports inside code it cannot see synchronise (Qt and glibc are
// not instrumented). Read by the ThreadSanitizer runtime only; unused in other builds.
// - QWaitCondition: a finishing QThread wakes its waiters under Qt's own futex-based mutex, so
//   the wake-up is reported against freeing the QThread after wait() returned.
// - tzset_internal: glibc guards its time-zone cache with an internal lock; local time is read
//   by the logger's ctime_r and by QDateTime on other threads.
// - swrast_dri.so: Mesa's software renderer, which the GL tests draw with, synchronises its own
//   threads in code that is not instrumented.
// - libglib-2.0.so.0: the event dispatcher of Qt's threads; its memory calls (at a thread's
//   start, for its main context) are not recorded, as in the program's tests.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition\n"
           "race:tzset_internal\n"
           "race:swrast_dri.so\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
