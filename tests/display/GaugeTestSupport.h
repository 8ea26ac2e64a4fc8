// Helpers of the gauge model tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "display/IGaugeViewModel.h"
#include "display/TickDisplay.h"
#include "display/Vector3D.h"

namespace gaugetest {

// The point of the tick labelled `label`; a test failure when the face has none.
inline vpcore::Vector3D pointOf(const vpcore::IGaugeViewModel& model, const std::string& label) {
    for (const vpcore::TickDisplay* tick : *model.getTicks()) {
        if (tick->label == label) {
            return *tick->position;
        }
    }
    ADD_FAILURE() << "no tick " << label;
    return vpcore::Vector3D();
}

}  // namespace gaugetest
