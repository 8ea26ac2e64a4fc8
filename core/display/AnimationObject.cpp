#include "display/AnimationObject.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace vpcore {

AnimationObject::AnimationObject(float stepInterval, fastdelegate::FastDelegate0<> stepDelegate,
                                 fastdelegate::FastDelegate0<> displayDelegate)
    : stepInterval(stepInterval), stepDelegate(stepDelegate), displayDelegate(displayDelegate) {
    // A zero, negative or NaN step would make every frame loop without end or not at all.
    if (!(stepInterval > 0.0f) || std::isinf(stepInterval)) {
        throw std::invalid_argument("Animation step interval must be a positive number of ms.");
    }
}

void AnimationObject::update(float elapsedMs) {
    if (!stepDelegate) {
        return;
    }
    const float steps = std::floor(elapsedMs / stepInterval);
    // Elapsed time comes from a monotonic clock; a negative or non-number value makes no step.
    if (!(steps >= 1.0f)) {
        return;
    }
    const int count =
        static_cast<int>(std::min(steps, static_cast<float>(std::numeric_limits<int>::max())));
    for (int i = 0; i < count; ++i) {
        stepDelegate();
    }
}

void AnimationObject::updateDisplay() {
    if (displayDelegate) {
        displayDelegate();
    }
}

}  // namespace vpcore
