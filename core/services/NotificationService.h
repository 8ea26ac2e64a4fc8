// The process-wide hub every published value travels through: publishers register their
// property ids and notify changes, listeners subscribe to sets of ids. Listeners are called
// synchronously on the notifying thread (usually the scheduler's runner thread); every member
// may be called from any thread.
//
// Removal contract: once removePropertyChangeListener returns, no thread is calling that
// listener any more and none will, so its owner may delete it at once (widgets do so in their
// destructors on the GUI thread while the runner notifies). Removal waits for calls running
// on other threads; a call on the removing thread itself (a listener removing itself or
// another listener from inside its own call) is not waited for. So a listener must not wait
// for the thread that may remove it, or the two wait for each other.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
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
    // A copy: the set may change on another thread while the caller reads it.
    std::set<short> getRegisteredPropertyIds() const;

    // The service does not own listeners: their owners remove them before destroying them.
    // Removal waits while another thread is calling the listener (see the contract above).
    template <class T>
    void addPropertyChangeListener(IPropertyChangeListener<T>* listener,
                                   const std::set<short>& ids);
    template <class T>
    void removePropertyChangeListener(IPropertyChangeListener<T>* listener,
                                      const std::set<short>& ids);

    // Calls every listener of id unless *oldValue == *newValue. The listeners' value type must
    // be T; throws std::invalid_argument for an unregistered id. A listener removed while the
    // notification runs is not called after its removal; one added meanwhile is not called.
    // An exception from a listener ends the notification and reaches the caller.
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
    // Marks a call of listener for id as running on this thread; false (and nothing marked)
    // when the listener has been removed from id since the snapshot.
    bool beginCall(short id, void* listener);
    void endCall(void* listener);
    // Whether thread is inside a removal of listener; the lock must be held.
    bool isRemoving(void* listener, std::thread::id thread) const;

    // Ends the call mark also when the listener throws.
    class CallGuard {
    public:
        CallGuard(NotificationService& service, void* listener)
            : service(service), listener(listener) {}
        ~CallGuard() { service.endCall(listener); }
        CallGuard(const CallGuard&) = delete;
        CallGuard& operator=(const CallGuard&) = delete;

    private:
        NotificationService& service;
        void* const listener;
    };

    std::set<short> registeredIds;
    std::map<short, std::set<void*>> listeners;
    // The listener calls running now, with their threads; removal waits on callEnded while
    // one of its listener runs on another thread.
    std::multimap<void*, std::thread::id> runningCalls;
    // The threads inside removeListener, by listener: a call running on such a thread cannot
    // end before that removal does, so two threads removing a listener from inside its
    // calls do not wait for each other.
    std::multimap<void*, std::thread::id> removals;
    std::condition_variable callEnded;
    // Guards the containers. Listeners are called without it, so a listener may add or
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
        if (!beginCall(id, target)) {
            continue;
        }
        const CallGuard guard(*this, target);
        static_cast<IPropertyChangeListener<T>*>(target)->handlePropertyChange(id, oldValue,
                                                                               newValue);
    }
}

}  // namespace vpcore
