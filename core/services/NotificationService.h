// The process-wide hub every published value travels through: publishers register their
// property ids and notify changes, listeners subscribe to sets of ids. Listeners are called
// synchronously on the notifying thread (usually the scheduler's runner thread).
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "services/IPropertyChangeListener.h"
#include "services/PropIds.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT NotificationService {
public:
    static NotificationService& Instance();

    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    // Throws std::invalid_argument for an empty set or an id that is already registered;
    // a set that fails registers none of its ids.
    void registerPropertyIds(const std::set<short>& ids);
    void unRegisterPropertyIds(const std::set<short>& ids);
    const std::set<short>& getRegisteredPropertyIds() const;

    // The service does not own listeners: their owners remove them before destroying them.
    template <class T>
    void addPropertyChangeListener(IPropertyChangeListener<T>* listener,
                                   const std::set<short>& ids);
    template <class T>
    void removePropertyChangeListener(IPropertyChangeListener<T>* listener,
                                      const std::set<short>& ids);

    // Calls every listener of id unless *oldValue == *newValue. The listeners' value type must
    // be T; throws std::invalid_argument for an unregistered id.
    template <class T>
    void notify(short id, const T* oldValue, const T* newValue);
    // A value-less event: listeners receive 0 -> 1.
    void notify(short id);

    void reset();

private:
    NotificationService() = default;

    void validatePropIds(const std::set<short>& ids);
    void addListener(void* listener, const std::set<short>& ids);
    void removeListener(void* listener, const std::set<short>& ids);
    // The listeners of id at this moment; throws when id is not registered.
    std::vector<void*> listenersOf(short id);

    std::set<short> registeredIds;
    std::map<short, std::set<void*>> listeners;
    // Guards both containers. Listeners are called without it, so a listener may add or
    // remove listeners, and registration on the GUI thread never races a notification.
    mutable std::mutex mutex;
};

template <class T>
void NotificationService::addPropertyChangeListener(IPropertyChangeListener<T>* listener,
                                                    const std::set<short>& ids) {
    addListener(static_cast<void*>(listener), ids);
}

template <class T>
void NotificationService::removePropertyChangeListener(IPropertyChangeListener<T>* listener,
                                                       const std::set<short>& ids) {
    removeListener(static_cast<void*>(listener), ids);
}

template <class T>
void NotificationService::notify(short id, const T* oldValue, const T* newValue) {
    const std::vector<void*> targets = listenersOf(id);
    if (*oldValue == *newValue) {
        return;
    }
    for (void* target : targets) {
        static_cast<IPropertyChangeListener<T>*>(target)->handlePropertyChange(id, oldValue,
                                                                               newValue);
    }
}

}  // namespace vpcore
