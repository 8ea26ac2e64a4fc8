#include "display/NumericScaleViewModelHelper.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace vpcore {

namespace {

// The ticks the helper creates itself and the colours of its minor ticks, freed unless
// handed on to the model.
class CreatedTicks {
public:
    ~CreatedTicks() {
        for (TickDisplay* tick : ticks) {
            delete tick;
        }
    }
    void add(TickDisplay* tick) { ticks.push_back(tick); }
    Vector3D* newColour(const Vector3D& colour) {
        colours.push_back(std::make_unique<Vector3D>(colour));
        return colours.back().get();
    }
    std::vector<std::unique_ptr<Vector3D>> release() {
        ticks.clear();
        return std::move(colours);
    }

private:
    std::vector<TickDisplay*> ticks;
    std::vector<std::unique_ptr<Vector3D>> colours;
};

}  // namespace

GaugeViewModel<int>* NumericScaleViewModelHelper::createGaugeViewModel(
    NumericScale<int> scale, const std::vector<MajorTickDisplay*>& majorTicks, float radius,
    bool minorTicks, const Vector3D& minorTickColour, DrawDirection_t drawDirection, bool reverse,
    float rotationDivisor) {
    if (scale.displayStep % 2 != 0) {
        throw std::invalid_argument("Numeric scale display step should be an even number.");
    }
    // A zero step would never reach the end, a zero display step divides by zero.
    if (scale.step <= 0 || scale.displayStep <= 0) {
        throw std::invalid_argument("Numeric scale step and display step must be positive.");
    }
    const int half = scale.displayStep / 2;
    std::size_t k = 0;
    std::vector<TickDisplay*> working;
    CreatedTicks created;
    for (long long v = scale.start; v <= scale.end; v += scale.step) {
        TickDisplay* tick = nullptr;
        if (v == 0 || v % scale.displayStep == 0) {
            if (k >= majorTicks.size()) {
                throw std::runtime_error("Not enough major ticks for the display values from " +
                                         std::to_string(v) + " on.");
            }
            tick = majorTicks[k++];
            const int labelValue = std::atoi(tick->label.c_str());
            if (labelValue != v) {
                throw std::runtime_error(
                    std::to_string(v) + " and display value " + std::to_string(labelValue) +
                    " do not match. " +
                    "Make sure NumericScale values are in sync with the tickDisplay.");
            }
        } else if (v % half == 0 && minorTicks) {
            tick = new MinorTickDisplay();
            tick->colour = created.newColour(minorTickColour);
            created.add(tick);
        } else {
            tick = new MajorTickDisplay();
            tick->visible = false;
            created.add(tick);
        }
        tick->label = std::to_string(v);
        working.push_back(tick);
    }
    if (working.size() >= 60) {
        for (int i = 0; i < scale.displayStep; ++i) {
            TickDisplay* gap = new MajorTickDisplay();
            gap->visible = false;
            created.add(gap);
            working.push_back(gap);
        }
    }
    if (reverse) {
        std::reverse(working.begin(), working.end());
    }
    GaugeViewModel<int>* model =
        createIntGaugeViewModel(working, radius, drawDirection, rotationDivisor);
    model->ownedColours = created.release();
    return model;
}

GaugeViewModel<float>* NumericScaleViewModelHelper::createGaugeViewModel(
    NumericScale<float>, const std::vector<MajorTickDisplay*>&, float, bool, const Vector3D&,
    DrawDirection_t) {
    throw std::runtime_error("Not implemented");
}

GaugeViewModel<int>* NumericScaleViewModelHelper::createIntGaugeViewModel(
    const std::vector<TickDisplay*>& ticks, float radius, DrawDirection_t drawDirection,
    float rotationDivisor) {
    std::unique_ptr<GaugeViewModel<int>> model(new GaugeViewModel<int>(radius, drawDirection));
    model->ticks = ticks;
    model->rotationDivisor = rotationDivisor;
    model->rotateTicks();
    model->placeTicks();
    return model.release();
}

}  // namespace vpcore
