#include "display/AnimationManager.h"

#include <QTimerEvent>
#include <string>

#include "display/AnimationObject.h"
#include "services/Logger.h"

namespace vpcore {

AnimationManager& AnimationManager::Instance() {
    static AnimationManager instance;
    return instance;
}

AnimationManager::AnimationManager() : QObject(nullptr) {
    Logger::Instance().log("INFO", "Animation set to " + std::to_string(FRAMES_PER_SECOND) +
                                       " frames per second. Interval in ms is " +
                                       std::to_string(INTERVAL_MS) + ".");
    clock.start();
}

AnimationManager::~AnimationManager() {
    if (timerId != 0) {
        killTimer(timerId);
    }
}

void AnimationManager::registerAnimationObject(AnimationObject* object) {
    animationObjects.push_back(object);
    if (timerId == 0) {
        // The first frame measures from now, not from when the clock last stopped.
        clock.restart();
        timerId = startTimer(INTERVAL_MS);
    }
}

void AnimationManager::unregisterAnimationObject(AnimationObject* object) {
    for (std::size_t i = 0; i < animationObjects.size();) {
        if (animationObjects[i] != object) {
            ++i;
            continue;
        }
        animationObjects.erase(animationObjects.begin() + static_cast<std::ptrdiff_t>(i));
        // An entry at or before the one a frame is at moves the rest down by one.
        if (walking && static_cast<std::ptrdiff_t>(i) <= walkIndex) {
            --walkIndex;
        }
    }
}

void AnimationManager::pause(bool paused) {
    this->paused = paused;
}

bool AnimationManager::isPaused() const {
    return paused;
}

void AnimationManager::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId) {
        QObject::timerEvent(event);
        return;
    }
    // A delegate that runs a local event loop would start a frame inside this one; the time
    // is left on the clock for the next frame instead.
    if (walking) {
        return;
    }
    const int elapsed = static_cast<int>(clock.restart());
    if (!paused) {
        updateAnimationObjects(elapsed);
        updateDisplay();
    }
    // Sixty wake-ups a second for nothing to animate cost an idle program most of its CPU:
    // the clock stops until the next object is registered.
    if (animationObjects.empty() && timerId != 0) {
        killTimer(timerId);
        timerId = 0;
    }
}

void AnimationManager::updateAnimationObjects(int elapsedMs) {
    walking = true;
    for (walkIndex = 0; walkIndex < static_cast<std::ptrdiff_t>(animationObjects.size());
         ++walkIndex) {
        animationObjects[static_cast<std::size_t>(walkIndex)]->update(
            static_cast<float>(elapsedMs));
    }
    walking = false;
}

void AnimationManager::updateDisplay() {
    walking = true;
    for (walkIndex = 0; walkIndex < static_cast<std::ptrdiff_t>(animationObjects.size());
         ++walkIndex) {
        animationObjects[static_cast<std::size_t>(walkIndex)]->updateDisplay();
    }
    walking = false;
}

}  // namespace vpcore
