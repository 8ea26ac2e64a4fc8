#include "services/StatusService.h"

#include <QDeadlineTimer>
#include <algorithm>

#include "services/Logger.h"
#include "services/StatusCheckerThread.h"
#include "services/TaskScheduler.h"

namespace vpcore {

namespace {
const int CHECKER_WAIT_MS = 5000;
const unsigned long DEFAULT_PROGRESS_DELAY_MS = 500;
}  // namespace

StatusMessage_t::StatusMessage_t(const std::string& text, int popupValue)
    : message(text), popup(popupValue) {}

ProgressInfo_t::ProgressInfo_t(const std::string& text, int stateValue)
    : description(text), state(stateValue) {}

StatusService& StatusService::Instance() {
    static StatusService service;
    return service;
}

StatusService::StatusService() : progressDelay(DEFAULT_PROGRESS_DELAY_MS) {
    // Constructed first, the logger and the scheduler outlive the service, whose destructor
    // waits for checker threads that ask the scheduler and may log.
    Logger::Instance();
    TaskScheduler::instance();
}

StatusService::~StatusService() {
    std::lock_guard<std::mutex> lock(checkerMutex);
    if (lastChecker) {
        stillRunning.push_back(std::move(lastChecker));
    }
    const QDeadlineTimer deadline(CHECKER_WAIT_MS);
    for (auto& checker : stillRunning) {
        if (!checker->wait(deadline)) {
            // Freeing a running thread is not allowed; at process exit it is left to the end.
            static_cast<void>(checker.release());
        }
    }
}

void StatusService::registerUpdateHandler(UpdateHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex);
    updateHandler = handler;
}

void StatusService::registerProgressHandler(ProgressHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex);
    progressHandler = handler;
}

void StatusService::update(const StatusMessage_t& message) {
    Logger::Instance().log("INFO", "Status update-> " + message.message);
    UpdateHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handler = updateHandler;
    }
    if (handler) {
        handler(message);
    }
}

void StatusService::startProgress(unsigned long taskId, const std::string& description) {
    ProgressHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handler = progressHandler;
    }
    if (!handler) {
        return;
    }
    std::lock_guard<std::mutex> lock(checkerMutex);
    releaseFinishedCheckers();
    if (lastChecker && !lastChecker->isFinished()) {
        Logger::Instance().log("WARN", "Waiting on last StatusCheckerThread to complete ...");
        if (!lastChecker->wait(QDeadlineTimer(CHECKER_WAIT_MS))) {
            stillRunning.push_back(std::move(lastChecker));
        }
    }
    lastChecker = std::make_unique<StatusCheckerThread>(
        taskId, handler, ProgressInfo_t(description, 1), progressDelay.load());
    lastChecker->start(QThread::InheritPriority);
}

void StatusService::stopProgress(unsigned long) {
    ProgressHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handler = progressHandler;
    }
    if (handler) {
        handler(ProgressInfo_t("", 0));
    }
}

void StatusService::setProgressDelay(unsigned long milliseconds) {
    progressDelay = milliseconds;
}

void StatusService::releaseFinishedCheckers() {
    stillRunning.erase(std::remove_if(stillRunning.begin(), stillRunning.end(),
                                      [](const std::unique_ptr<StatusCheckerThread>& checker) {
                                          return checker->isFinished();
                                      }),
                       stillRunning.end());
}

}  // namespace vpcore
