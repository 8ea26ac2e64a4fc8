#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "services/FileService.h"
#include "services/QSleeper.h"

using vpcore::FileService;

TEST(FileServiceTest, PathsAreEmptyUntilSetAndKeptAsGiven) {
    FileService& service = FileService::Instance();
    EXPECT_EQ(service.getApplicationDataPath(), "");
    EXPECT_EQ(service.getInstallPath(), "");
    service.setApplicationDataPath("/home/user/.config/Ombrix/");
    service.setInstallPath("/opt/ombrix");
    EXPECT_EQ(service.getApplicationDataPath(), "/home/user/.config/Ombrix/");
    EXPECT_EQ(service.getInstallPath(), "/opt/ombrix");
    service.setApplicationDataPath("");
    service.setInstallPath("");
}

TEST(QSleeperTest, SleepsForTheGivenTime) {
    QElapsedTimer timer;
    timer.start();
    QtUtils::QSleeper::msleep(0);
    // "At once": far below the shortest real sleep asked below, and generous enough for a
    // loaded machine that deschedules the thread.
    EXPECT_LT(timer.elapsed(), 2000);
    timer.restart();
    QtUtils::QSleeper::msleep(60);
    EXPECT_GE(timer.elapsed(), 59);
}
