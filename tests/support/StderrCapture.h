// Runs an action with standard error sent into a pipe and returns what it wrote there: a pipe,
// so neither a full disk nor a file size limit in force during the action touches it.
#pragma once

#include <unistd.h>

#include <functional>
#include <iostream>
#include <string>

namespace testsupport {

// The action may write at most a pipe's buffer (64 KiB here); more would block it.
inline std::string captureStderr(const std::function<void()>& action) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return "(no pipe for standard error)";
    }
    std::cerr.flush();
    const int savedStderr = ::dup(STDERR_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);
    action();
    std::cerr.flush();
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    ::close(pipeEnds[1]);
    std::string errors;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(pipeEnds[0], buffer, sizeof(buffer))) > 0) {
        errors.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    return errors;
}

}  // namespace testsupport
