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

const std::set<short>& NotificationService::getRegisteredPropertyIds() const {
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
    std::lock_guard<std::mutex> lock(mutex);
    for (short id : ids) {
        auto it = listeners.find(id);
        if (it != listeners.end()) {
            it->second.erase(listener);
        }
    }
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
