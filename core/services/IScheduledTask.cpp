#include "services/IScheduledTask.h"

#include <atomic>

namespace vpcore {

namespace {
// Tasks are constructed on the GUI thread and on the runner thread.
std::atomic<unsigned long> lastTaskId{0};
}  // namespace

IScheduledTask::IScheduledTask()
    : taskId(lastTaskId.fetch_add(1) + 1), state(STATE_CREATED), cancelled(false) {}

IScheduledTask::~IScheduledTask() = default;

bool IScheduledTask::canLiveForever() const {
    return false;
}

unsigned long IScheduledTask::getTaskId() const {
    return taskId;
}

IScheduledTask::State_t IScheduledTask::getState() const {
    std::lock_guard<std::mutex> lock(mutex);
    return state;
}

void IScheduledTask::setState(State_t newState) {
    std::lock_guard<std::mutex> lock(mutex);
    state = newState;
}

bool IScheduledTask::isCancelled() const {
    std::lock_guard<std::mutex> lock(mutex);
    return cancelled;
}

void IScheduledTask::setCancelled() {
    std::lock_guard<std::mutex> lock(mutex);
    cancelled = true;
}

}  // namespace vpcore
