#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "TempDir.h"
#include "base/FatalError.h"
#include "shell/CrashHandler.h"

namespace {

using testsupport::readFile;

enum class Crash { BadWrite, Abort, FloatingPoint, IllegalInstruction };

// A page that may not be touched: writing to it is a real access violation, at a known place.
volatile int* forbiddenPage() {
    static void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return static_cast<volatile int*>(page);
}

void crash(Crash how) {
    // No core file for a crash on purpose.
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    switch (how) {
        case Crash::BadWrite:
            *forbiddenPage() = 1;
            break;
        case Crash::Abort:
            std::abort();
        case Crash::FloatingPoint:
            std::raise(SIGFPE);
            break;
        case Crash::IllegalInstruction:
            std::raise(SIGILL);
            break;
    }
}

// The crash text names the signal that ended the run; an access violation keeps its words.
TEST(CrashHandlerTest, ACrashWritesTheCrashTextAndTheDumpThenEndsByItsSignal) {
    struct Case {
        Crash how;
        int signal;
        const char* signalLine;
        const char* cause;
    };
    const Case cases[] = {
        {Crash::BadWrite, SIGSEGV, "Signal: 11 (SIGSEGV)", "Access violation"},
        {Crash::Abort, SIGABRT, "Signal: 6 (SIGABRT)", "Abort (SIGABRT)"},
        {Crash::FloatingPoint, SIGFPE, "Signal: 8 (SIGFPE)", "Arithmetic error (SIGFPE)"},
        {Crash::IllegalInstruction, SIGILL, "Signal: 4 (SIGILL)", "Illegal instruction (SIGILL)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signalLine);
        testsupport::TempDir folder;
        const std::string dataDir = folder.path() + "/";
        EXPECT_EXIT(
            {
                CrashHandler::prepare(dataDir);
                CrashHandler::install();
                crash(c.how);
            },
            ::testing::KilledBySignal(c.signal), "abnormal condition");

        const std::string dumpPath = dataDir + "Vesparo.dmp";
        const std::string text =
            fatalErrorText(std::string(c.cause) + ": a crash dump is being logged to " + dumpPath)
                .toStdString();
        EXPECT_EQ(readFile(dataDir + "crash.log"), text);
        EXPECT_EQ(CrashHandler::crashText(c.signal, dumpPath), text);
        const std::string dump = readFile(dumpPath);
        EXPECT_NE(dump.find(c.signalLine), std::string::npos);
        EXPECT_NE(dump.find("Thread id: "), std::string::npos);
        EXPECT_NE(dump.find("Backtrace:\n"), std::string::npos);
        EXPECT_NE(dump.find("Memory map:\n"), std::string::npos);
        EXPECT_NE(dump.find("[stack]"), std::string::npos);
        if (c.how == Crash::BadWrite) {
            std::ostringstream address;
            address << "Fault address: " << std::hex << std::showbase
                    << reinterpret_cast<uintptr_t>(forbiddenPage()) << "\n";
            EXPECT_NE(dump.find(address.str()), std::string::npos) << dump;
        }
    }
}

TEST(CrashHandlerTest, BeforeTheDataFolderIsKnownACrashOnlyReportsOnStandardError) {
    testsupport::TempDir folder;
    EXPECT_EXIT(
        {
            CrashHandler::prepare(std::string());  // no folder known, whatever ran before
            CrashHandler::install();
            crash(Crash::BadWrite);
        },
        ::testing::KilledBySignal(SIGSEGV), "Ombrix crashed: SIGSEGV");
}

TEST(CrashHandlerTest, ATracerIsSeen) {
    // The suite is not run under a debugger; under one this reads true.
    EXPECT_FALSE(CrashHandler::isTracerAttached());
    // A child that asks its parent to trace it sees the tracer (exit 0); 2 when the system
    // does not allow tracing at all.
    EXPECT_EXIT(
        {
            if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
                _exit(2);
            }
            _exit(CrashHandler::isTracerAttached() ? 0 : 1);
        },
        [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 1; }, "");
}

}  // namespace
