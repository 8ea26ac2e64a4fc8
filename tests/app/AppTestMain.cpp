// GoogleTest entry point for the desktop program's tests: a QApplication exists for the whole
// run (under the virtual display), and the user profile is a temporary folder, so no test
// touches the real settings of the user who runs them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

// See tests/support/TestMain.cpp: races inside uninstrumented Qt and glibc code.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition\n"
           "race:tzset_internal\n";
}

// Under AddressSanitizer: the D-Bus library that Qt's platform integration loads keeps one
// buffer for the process's life, which LeakSanitizer would report at every run.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

int main(int argc, char** argv) {
    QTemporaryDir profile;
    qputenv("XDG_CONFIG_HOME", profile.path().toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Ombrix");
    QCoreApplication::setApplicationName("Ombrix");
    QSettings::setDefaultFormat(QSettings::IniFormat);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
