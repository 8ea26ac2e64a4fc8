// A numeric gauge scale: values from start to end (included) every step, labelled every
// displayStep. Passed by value to NumericScaleViewModelHelper.
#pragma once

namespace vpcore {

template <class T>
struct NumericScale {
    NumericScale(T start, T end, T step, T displayStep)
        : start(start), end(end), step(step), displayStep(displayStep) {}

    T start;
    T end;  // included
    T step;
    T displayStep;
};

}  // namespace vpcore
