// Calls its action on each reset of the current conditions (PROP_CONDITIONS_RESET: a new place,
// or none), on the notifying thread, while it lives. Gauge models hold one to go back to the
// state they start in.
#pragma once

#include <functional>

#include "services/IPropertyChangeListener.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT ConditionsResetListener : public NoPropertyChangeListener {
public:
    explicit ConditionsResetListener(std::function<void()> action);
    ~ConditionsResetListener() override;

    ConditionsResetListener(const ConditionsResetListener&) = delete;
    ConditionsResetListener& operator=(const ConditionsResetListener&) = delete;

    void handlePropertyChange(short propId, const int* const oldValue,
                              const int* const newValue) override;

private:
    const std::function<void()> action;
};

}  // namespace vpcore
