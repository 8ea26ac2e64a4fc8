#include "shell/CrashHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>

#include "base/FatalError.h"
#include "services/PlainFile.h"

namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Everything the handler writes is prepared here beforehand; it only reads these.
char crashLogPath[4096];
char dumpPath[4096];
// One text per handled signal, in the order of kSignals.
char crashTexts[5][8192];
std::atomic<bool> prepared{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read inside a signal handler");

volatile sig_atomic_t handling = 0;

// The alternate stack; static, so a crash caused by a full heap still has it.
alignas(16) char alternateStack[64 * 1024];

// False when not all of it was written.
bool writeText(int fd, const char* text) {
    return vpcore::PlainFile::writeAll(fd, text, std::strlen(text));
}

// What the crash text calls each signal; the access violation keeps its long-standing words.
const char* signalDescription(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "Access violation";
        case SIGBUS:
            return "Bus error (SIGBUS)";
        case SIGILL:
            return "Illegal instruction (SIGILL)";
        case SIGFPE:
            return "Arithmetic error (SIGFPE)";
        case SIGABRT:
            return "Abort (SIGABRT)";
        default:
            return "Crash";
    }
}

int signalIndex(int signal) {
    for (int i = 0; i < 5; ++i) {
        if (kSignals[i] == signal) {
            return i;
        }
    }
    return 0;
}

// Opens a file of the profile for writing without ever blocking: a FIFO in its place gives
// up at once (no reader) or is refused, as is a link.
int openForCrash(const char* path) {
    const int fd = vpcore::PlainFile::openRegular(path, O_WRONLY | O_CREAT | O_NOFOLLOW);
    if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Digits without snprintf, which is not safe in a signal handler.
void writeNumber(int fd, unsigned long value, unsigned base) {
    char digits[32];
    int at = sizeof(digits) - 1;
    digits[at] = '\0';
    do {
        digits[--at] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0 && at > 0);
    if (base == 16) {
        writeText(fd, "0x");
    }
    writeText(fd, digits + at);
}

const char* signalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

void copyFile(const char* from, int to) {
    const int in = ::open(from, O_RDONLY);
    if (in < 0) {
        return;
    }
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(in, buffer, sizeof(buffer))) > 0) {
        if (!vpcore::PlainFile::writeAll(to, buffer, static_cast<size_t>(got))) {
            break;
        }
    }
    ::close(in);
}

void writeDump(int signal, const siginfo_t* info) {
    const int fd = openForCrash(dumpPath);
    if (fd < 0) {
        return;
    }
    writeText(fd, "Signal: ");
    writeNumber(fd, static_cast<unsigned long>(signal), 10);
    writeText(fd, " (");
    writeText(fd, signalName(signal));
    writeText(fd, ")\nFault address: ");
    writeNumber(fd, info ? reinterpret_cast<unsigned long>(info->si_addr) : 0UL, 16);
    writeText(fd, "\nProcess id: ");
    writeNumber(fd, static_cast<unsigned long>(::getpid()), 10);
    writeText(fd, "\nThread id: ");
    writeNumber(fd, static_cast<unsigned long>(::syscall(SYS_gettid)), 10);
    writeText(fd, "\n\nBacktrace:\n");
    void* frames[64];
    const int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, fd);
    writeText(fd, "\nMemory map:\n");
    copyFile("/proc/self/maps", fd);
    ::close(fd);
}

}  // namespace

std::string CrashHandler::crashText(int signal, const std::string& dumpPath) {
    return fatalErrorText(std::string(signalDescription(signal)) +
                          ": a crash dump is being logged to " + dumpPath)
        .toStdString();
}

bool CrashHandler::isTracerAttached() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
        }
    }
    return false;
}

void CrashHandler::install() {
    // The first backtrace() loads the unwinder, which must not happen inside the handler.
    void* frame[1];
    ::backtrace(frame, 1);

    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof(alternateStack);
    ::sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_sigaction = crashDumpFilter;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

void CrashHandler::prepare(const std::string& userDataDir) {
    if (userDataDir.empty()) {
        prepared = false;
        return;
    }
    const std::string log = userDataDir + "crash.log";
    const std::string dump = userDataDir + "Vesparo.dmp";
    std::string texts[5];
    for (int i = 0; i < 5; ++i) {
        texts[i] = crashText(kSignals[i], dump);
        if (texts[i].size() >= sizeof(crashTexts[i])) {
            return;
        }
    }
    if (log.size() >= sizeof(crashLogPath) || dump.size() >= sizeof(dumpPath)) {
        return;
    }
    prepared = false;
    std::memcpy(crashLogPath, log.c_str(), log.size() + 1);
    std::memcpy(dumpPath, dump.c_str(), dump.size() + 1);
    for (int i = 0; i < 5; ++i) {
        std::memcpy(crashTexts[i], texts[i].c_str(), texts[i].size() + 1);
    }
    prepared = true;
}

void crashDumpFilter(int signal, siginfo_t* info, void*) {
    if (handling == 0) {
        handling = 1;
        if (prepared) {
            const char* text = crashTexts[signalIndex(signal)];
            writeText(STDERR_FILENO, text);
            writeText(STDERR_FILENO, "\n");
            const int fd = openForCrash(crashLogPath);
            const bool written = fd >= 0 && writeText(fd, text);
            if (fd >= 0) {
                ::close(fd);
            }
            if (!written) {
                writeText(STDERR_FILENO, "Could not write ");
                writeText(STDERR_FILENO, crashLogPath);
                writeText(STDERR_FILENO, "\n");
            }
            writeDump(signal, info);
        } else {
            writeText(STDERR_FILENO, "Ombrix crashed: ");
            writeText(STDERR_FILENO, signalName(signal));
            writeText(STDERR_FILENO, "\n");
        }
    }
    // The default action ends the process once the handler returns, and the system records
    // the crash as it would without us.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}
