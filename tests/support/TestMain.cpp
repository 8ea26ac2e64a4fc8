// GoogleTest entry point for the core test executables: a QCoreApplication exists for the
// whole run, as Qt networking, timers and threads expect.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "TsanSuppressions.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
