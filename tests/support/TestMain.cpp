// GoogleTest entry point for the core test executables: a QCoreApplication exists for the
// whole run, as Qt networking, timers and threads expect.
#include <gtest/gtest.h>

#include <QCoreApplication>

// Races that ThreadSanitizer reports inside code it cannot see synchronise (Qt and glibc are
// not instrumented). Read by the ThreadSanitizer runtime only; unused in other builds.
// - QWaitCondition: a finishing QThread wakes its waiters under Qt's own futex-based mutex, so
//   the wake-up is reported against freeing the QThread after wait() returned.
// - tzset_internal: glibc guards its time-zone cache with an internal lock; local time is read
//   by the logger's ctime_r and by QDateTime on other threads.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition\n"
           "race:tzset_internal\n";
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
