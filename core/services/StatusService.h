// Carries status messages and progress reports from the library to the handlers the desktop
// program registers. update and stopProgress call the handlers on the caller's thread (mostly
// the scheduler's runner thread); the progress report of startProgress comes from a short-lived
// checker thread, and only when the task is still running 500 ms (the progress delay) after it
// started.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "services/FastDelegate.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class StatusCheckerThread;

struct VPCORE_EXPORT StatusMessage_t {
    StatusMessage_t(const std::string& message, int popup);

    std::string message;
    // 0: a passing status-bar message; any other value: shown in a message box.
    int popup;
};

struct VPCORE_EXPORT ProgressInfo_t {
    ProgressInfo_t(const std::string& description, int state);

    // The task's description; empty when progress stops.
    std::string description;
    // 1: a task is in progress; 0: progress has stopped.
    int state;
};

class VPCORE_EXPORT StatusService {
public:
    using UpdateHandler = fastdelegate::FastDelegate1<const StatusMessage_t&>;
    using ProgressHandler = fastdelegate::FastDelegate1<const ProgressInfo_t&>;

    static StatusService& Instance();

    StatusService(const StatusService&) = delete;
    StatusService& operator=(const StatusService&) = delete;

    // Replace the handler; an empty delegate unregisters it.
    void registerUpdateHandler(UpdateHandler handler);
    void registerProgressHandler(ProgressHandler handler);

    // Logs the message and hands it to the update handler.
    void update(const StatusMessage_t& message);
    // Starts a checker thread that reports (description, 1) if the task is still running
    // 500 ms later. Nothing happens without a progress handler.
    void startProgress(unsigned long taskId, const std::string& description);
    // Reports ("", 0) at once. The task id is not used.
    void stopProgress(unsigned long taskId);

    // How long a checker waits before it asks whether the task is still running; 500 ms
    // unless changed. Applies to the checkers started afterwards.
    void setProgressDelay(unsigned long milliseconds);

private:
    StatusService();
    ~StatusService();

    // Frees the threads in stillRunning that have finished.
    void releaseFinishedCheckers();

    std::atomic<unsigned long> progressDelay;  // milliseconds

    UpdateHandler updateHandler;
    ProgressHandler progressHandler;
    std::mutex handlerMutex;  // guards both handlers

    std::unique_ptr<StatusCheckerThread> lastChecker;
    // Checker threads that were still running after the wait for them ran out: a running
    // thread is never freed, so they are kept here until they have finished.
    std::vector<std::unique_ptr<StatusCheckerThread>> stillRunning;
    std::mutex checkerMutex;  // guards lastChecker and stillRunning
};

}  // namespace vpcore
