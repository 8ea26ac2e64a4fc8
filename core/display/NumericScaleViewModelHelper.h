// Builds the geometry of a numeric gauge face (temperature, millibars) from a scale and the
// labelled ticks of its display values; called by the gauge models' constructView.
#pragma once

#include <vector>

#include "display/GaugeViewModel.h"
#include "display/NumericScale.h"
#include "display/TickDisplay.h"
#include "display/Vector3D.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT NumericScaleViewModelHelper {
public:
    // One tick per value of the scale: the given majorTicks, in order, at 0 and the multiples
    // of displayStep (their labels must read as those values); a MinorTickDisplay at the
    // other multiples of displayStep / 2 when minorTicks is set; invisible ticks elsewhere.
    // Scales of 60 values or more get displayStep blank ticks as a gap after the last value.
    // The caller owns the result, which has taken over the given ticks it placed (not their
    // colours; ticks beyond the scale's display values stay the caller's). Throws
    // std::invalid_argument for an odd or non-positive displayStep or a non-positive step,
    // std::runtime_error when the labels do not match the scale or run out; the given ticks
    // then stay the caller's.
    static GaugeViewModel<int>* createGaugeViewModel(
        NumericScale<int> scale, const std::vector<MajorTickDisplay*>& majorTicks, float radius,
        bool minorTicks, const Vector3D& minorTickColour, DrawDirection_t drawDirection,
        bool reverse, float rotationDivisor);
    // Float scales are not supported: always throws std::runtime_error "Not implemented".
    static GaugeViewModel<float>* createGaugeViewModel(
        NumericScale<float> scale, const std::vector<MajorTickDisplay*>& majorTicks, float radius,
        bool minorTicks, const Vector3D& minorTickColour, DrawDirection_t drawDirection);

private:
    static GaugeViewModel<int>* createIntGaugeViewModel(const std::vector<TickDisplay*>& ticks,
                                                        float radius, DrawDirection_t drawDirection,
                                                        float rotationDivisor);
};

}  // namespace vpcore
