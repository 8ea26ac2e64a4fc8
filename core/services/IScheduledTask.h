// What the task scheduler runs: a unit of periodic or one-shot work with a process-wide id, a
// state and a cancelled flag. performTask is called on the scheduler's runner thread; the
// state and flag accessors may be called from any thread.
#pragma once

#include <mutex>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT IScheduledTask {
public:
    enum State_t {
        STATE_CREATED = 0,    // never executed
        STATE_EXECUTING = 1,  // taken by the runner and not yet finished
        STATE_EXECUTED = 2    // a scheduled task has finished an execution
    };

    IScheduledTask();
    virtual ~IScheduledTask();

    IScheduledTask(const IScheduledTask&) = delete;
    IScheduledTask& operator=(const IScheduledTask&) = delete;

    // True on success.
    virtual bool performTask() = 0;
    virtual std::string getTaskName() const = 0;
    // True when the status service shows progress while the task runs.
    virtual bool contributesToProgressBar() const = 0;
    // The progress text.
    virtual std::string getDescription() const = 0;
    // True when the task's schedule survives TaskScheduler::shutdown.
    virtual bool canLiveForever() const;

    // Unique in the process; the first task constructed has id 1.
    unsigned long getTaskId() const;
    State_t getState() const;
    void setState(State_t state);
    bool isCancelled() const;
    // There is no way back.
    void setCancelled();

private:
    const unsigned long taskId;
    State_t state;
    bool cancelled;
    mutable std::mutex mutex;  // guards state and cancelled
};

}  // namespace vpcore
