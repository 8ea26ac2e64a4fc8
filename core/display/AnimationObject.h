// One animation as the AnimationManager drives it: the owner's step delegate runs once per
// whole step length in the time since the previous frame, the display delegate once per frame.
// Built and used on the GUI thread by its owner (a gauge flip, an alert text reveal).
#pragma once

#include "services/FastDelegate.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT AnimationObject {
public:
    // stepInterval is the length of one step in milliseconds; it must be a positive number
    // (std::invalid_argument otherwise). Either delegate may be empty.
    AnimationObject(float stepInterval, fastdelegate::FastDelegate0<> stepDelegate,
                    fastdelegate::FastDelegate0<> displayDelegate);
    AnimationObject(const AnimationObject& other) = default;
    AnimationObject& operator=(const AnimationObject& other) = default;
    ~AnimationObject() = default;

    // Calls the step delegate floor(elapsedMs / stepInterval) times; the remainder is dropped.
    void update(float elapsedMs);
    void updateDisplay();

    float getStepInterval() const { return stepInterval; }

private:
    float stepInterval;
    fastdelegate::FastDelegate0<> stepDelegate;
    fastdelegate::FastDelegate0<> displayDelegate;
};

}  // namespace vpcore
