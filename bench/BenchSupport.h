// Shared by the benchmarks: a stream buffer that drops what it is given (log lines would cut
// through the result tables), and CPU time measured over a stretch of the event loop.
#pragma once

#include <time.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <streambuf>

namespace benchsupport {

class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char*, std::streamsize size) override { return size; }
};

// CPU time of the clock (CLOCK_THREAD_CPUTIME_ID, CLOCK_PROCESS_CPUTIME_ID) in milliseconds.
inline double cpuMs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Runs the event loop for wallMs; adds the CPU time of the clock and the wall time it took.
inline void runEventLoop(int wallMs, clockid_t clock, double& spentCpuMs, double& elapsedMs) {
    QEventLoop loop;
    QTimer::singleShot(wallMs, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    wall.start();
    const double before = cpuMs(clock);
    loop.exec();
    spentCpuMs += cpuMs(clock) - before;
    elapsedMs += static_cast<double>(wall.elapsed());
}

}  // namespace benchsupport
