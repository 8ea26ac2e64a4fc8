// The program's last resort on a crash: handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE and
// SIGABRT that write "crash.log" and the dump "Vesparo.dmp" (signal, fault address, thread,
// backtrace, memory map) into the user data folder, then let the signal take its default
// course so the system still records the crash. Installed by main before anything else.
#pragma once

#include <csignal>
#include <string>

class CrashHandler {
public:
    // A debugger or other tracer is attached (TracerPid of /proc/self/status is not 0).
    static bool isTracerAttached();

    // Installs the handlers on an alternate signal stack (for the calling thread; other
    // threads' crashes run the handler on their own stack).
    static void install();

    // Prepares the crash text and the two file paths in userDataDir (ending in "/"), so the
    // handler need not build anything. Until called, or after a call with an empty folder, a
    // crash only writes to standard error.
    static void prepare(const std::string& userDataDir);

    // The fatal-error text of a crash by signal: "Access violation" for SIGSEGV, otherwise the
    // signal's own name, then ": a crash dump is being logged to " + dumpPath.
    static std::string crashText(int signal, const std::string& dumpPath);

private:
    CrashHandler() = delete;
};

// The signal handler: only async-signal-safe calls (write, open, backtrace_symbols_fd, raise).
void crashDumpFilter(int signal, siginfo_t* info, void* context);
