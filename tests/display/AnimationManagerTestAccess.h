// Builds a private AnimationManager for one test or benchmark, with its own timer, so the
// process-wide instance is left alone; and runs frames of it without waiting for the timer.
#pragma once

#include <QTimerEvent>
#include <memory>

#include "display/AnimationManager.h"

namespace vpcore {

class AnimationManagerTestAccess {
public:
    static std::unique_ptr<AnimationManager> create() {
        return std::unique_ptr<AnimationManager>(new AnimationManager());
    }

    // One frame as the timer delivers it: the elapsed time is what the manager's clock says.
    static void timerFrame(AnimationManager& manager) {
        QTimerEvent event(manager.timerId);
        manager.timerEvent(&event);
    }

    // One frame with a chosen elapsed time (the pause flag is the timer event's business).
    static void frame(AnimationManager& manager, int elapsedMs) {
        manager.updateAnimationObjects(elapsedMs);
        manager.updateDisplay();
    }

    static bool clockRunning(const AnimationManager& manager) { return manager.timerId != 0; }

    static std::size_t registeredCount(const AnimationManager& manager) {
        return manager.animationObjects.size();
    }
};

}  // namespace vpcore
