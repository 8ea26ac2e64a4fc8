#include "services/NotificationService.h"

namespace vpcore {

NotificationService& NotificationService::Instance() {
    static NotificationService instance;
    return instance;
}

void NotificationService::registerPropertyIds(const std::set<short>& ids) {
    std::lock_guard<std::mutex> lock(mutex);
    validatePropIds(ids);
    registeredIds.insert(ids.begin(), ids.end());
}

void NotificationService::unRegisterPropertyIds(const std::set<short>& ids) {
    std::lock_guard<std::mutex> lock(mutex);
    for (short id : ids) {
        registeredIds.erase(id);
    }
}

std::set<short> NotificationService::getRegisteredPropertyIds() const {
    std::lock_guard<std::mutex> lock(mutex);
    return registeredIds;
}

void NotificationService::validatePropIds(const std::set<short>& ids) {
    if (ids.empty()) {
        throw std::invalid_argument("No PropIds");
    }
    for (short id : ids) {
        if (registeredIds.count(id) != 0) {
            throw std::invalid_argument("Cannot have duplicate PropIds " + std::to_string(id) +
                                        ". PropIds are unique and global to the application.");
        }
    }
}

void NotificationService::addListener(void* listener, const std::set<short>& ids) {
    std::lock_guard<std::mutex> lock(mutex);
    for (short id : ids) {
        listeners[id].insert(listener);
    }
}

void NotificationService::removeListener(void* listener, const std::set<short>& ids) {
    std::unique_lock<std::mutex> lock(mutex);
    for (short id : ids) {
        auto it = listeners.find(id);
        if (it != listeners.end()) {
            it->second.erase(listener);
        }
    }
    // No call can start any more (beginCall looks again under the lock); wait for the ones
    // under way on other threads. A call on this thread is the caller's own and has to be
    // left running. Calls for ids not removed here are waited for too: they are short, and
    // the owner deletes the listener as a whole.
    const std::thread::id self = std::this_thread::get_id();
    const auto removal = removals.emplace(listener, self);
    callEnded.wait(lock, [&] {
        const auto calls = runningCalls.equal_range(listener);
        for (auto call = calls.first; call != calls.second; ++call) {
            if (call->second != self && !isRemoving(listener, call->second)) {
                return false;
            }
        }
        return true;
    });
    removals.erase(removal);
    lock.unlock();
    // A removal on another thread may have been waiting for this one.
    callEnded.notify_all();
}

bool NotificationService::isRemoving(void* listener, std::thread::id thread) const {
    const auto range = removals.equal_range(listener);
    for (auto removal = range.first; removal != range.second; ++removal) {
        if (removal->second == thread) {
            return true;
        }
    }
    return false;
}

bool NotificationService::beginCall(short id, void* listener) {
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = listeners.find(id);
    if (it == listeners.end() || it->second.count(listener) == 0) {
        return false;
    }
    runningCalls.emplace(listener, std::this_thread::get_id());
    return true;
}

void NotificationService::endCall(void* listener) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::thread::id self = std::this_thread::get_id();
        const auto range = runningCalls.equal_range(listener);
        for (auto call = range.first; call != range.second; ++call) {
            if (call->second == self) {
                runningCalls.erase(call);
                break;
            }
        }
    }
    callEnded.notify_all();
}

std::vector<void*> NotificationService::listenersOf(short id) {
    std::lock_guard<std::mutex> lock(mutex);
    if (registeredIds.count(id) == 0) {
        throw std::invalid_argument("PropId " + std::to_string(id) +
                                    " has not been registered. All publishing classes must call" +
                                    " registerPropertyIds before firing notifications.");
    }
    const std::set<void*>& set = listeners[id];
    return std::vector<void*>(set.begin(), set.end());
}

void NotificationService::notify(short id) {
    const int zero = 0;
    const int one = 1;
    notify<int>(id, &zero, &one);
}

void NotificationService::reset() {
    std::lock_guard<std::mutex> lock(mutex);
    listeners.clear();
    registeredIds.clear();
}

}  // namespace vpcore
