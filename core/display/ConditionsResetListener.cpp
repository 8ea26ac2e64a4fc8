#include "display/ConditionsResetListener.h"

#include <utility>

#include "services/NotificationService.h"
#include "services/PropIds.h"

namespace vpcore {

ConditionsResetListener::ConditionsResetListener(std::function<void()> action)
    : action(std::move(action)) {
    NotificationService::Instance().addPropertyChangeListener<int>(this, {PROP_CONDITIONS_RESET});
}

ConditionsResetListener::~ConditionsResetListener() {
    NotificationService::Instance().removePropertyChangeListener<int>(this,
                                                                      {PROP_CONDITIONS_RESET});
}

void ConditionsResetListener::handlePropertyChange(short propId, const int* const,
                                                   const int* const) {
    if (propId == PROP_CONDITIONS_RESET && action) {
        action();
    }
}

}  // namespace vpcore
