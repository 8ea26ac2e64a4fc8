// A disk that is full for this process while the helper lives: no file may grow past the
// given size (RLIMIT_FSIZE), so a write beyond it fails with EFBIG, as one on a full disk
// fails with ENOSPC. Unlike a read-only mode it also stops root, which the tests run as, and
// unlike a link to /dev/full it cannot make a program replace a device node. Only what the
// helper's scope writes is affected; keep it short.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <stdexcept>

namespace testsupport {

class FullDisk {
public:
    explicit FullDisk(rlim_t maxFileSize) {
        // Without this the first refused write would end the process.
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (getrlimit(RLIMIT_FSIZE, &previous) != 0) {
            throw std::runtime_error("getrlimit(RLIMIT_FSIZE) failed");
        }
        rlimit limited = previous;
        limited.rlim_cur = maxFileSize;
        if (setrlimit(RLIMIT_FSIZE, &limited) != 0) {
            throw std::runtime_error("setrlimit(RLIMIT_FSIZE) failed");
        }
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

}  // namespace testsupport
