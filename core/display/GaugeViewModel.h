// The geometry behind a gauge face: lays ticks evenly round a circle, remembers where each
// tick label lies and moves the needle end point to the label equal to the value written as
// text. Used with int (temperature, millibars; built by NumericScaleViewModelHelper), float
// (inches of mercury) and std::string (compass). setValue runs on the notifying thread while
// the widget reads the needle on the GUI thread.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/TickDisplay.h"
#include "display/Vector3D.h"
#include "services/VpCoreExport.h"

namespace vpcore {

enum DrawDirection_t { DRAW_DIRECTION_NORMAL = 0, DRAW_DIRECTION_REVERSED = 1 };

class NumericScaleViewModelHelper;

template <class T>
class VPCORE_EXPORT GaugeViewModel {
public:
    // Takes the ticks over (all MajorTickDisplay); reverses them for DRAW_DIRECTION_REVERSED,
    // rotates them (rotationDivisor sets where the first lies) and lays them round the circle,
    // with one MinorTickDisplay between every two when minorTicksBetween is set.
    GaugeViewModel(const std::vector<TickDisplay*>& ticks, float radius, bool minorTicksBetween,
                   const Vector3D& minorTickColour, DrawDirection_t drawDirection,
                   float rotationDivisor = 4.0f);
    // Frees the ticks, their positions and the label map's points. Colours of given ticks
    // stay their creator's; those of the minor ticks the model or the helper made go with it.
    virtual ~GaugeViewModel();

    GaugeViewModel(const GaugeViewModel&) = delete;
    GaugeViewModel& operator=(const GaugeViewModel&) = delete;

    const std::vector<TickDisplay*>* getTicks() const { return &ticks; }
    // A copy taken under the value's lock (the GUI thread reads it while the notifying thread
    // moves it); (0, 0, 0) until a value matches a label.
    Vector3D getNeedleEndpoint() const;

    // Stores the value and moves the needle to the point of the label equal to its text; a
    // value that is no label leaves the needle where it was.
    void setValue(T value);
    T getValue() const;
    void resetNeedle();

    // The point of tick index of count on the circle: angle index * 2pi / count in double
    // precision, each coordinate stored as float.
    virtual void pointOnCircle(Vector3D* out, double index, double count);
    // Moves a dot to where the widget's shifted label text would sit.
    virtual void offsetMinorTick(Vector3D* point);

    // The value as a tick label: -60, 29.9 (six significant digits), or the text itself.
    static std::string valueText(const T& value);

protected:
    virtual void buildTicks();
    virtual void placeTicks();
    void rotateTicks();
    void updateNeedleEndpoint();

private:
    friend class NumericScaleViewModelHelper;
    // Empty geometry that NumericScaleViewModelHelper fills and places.
    GaugeViewModel(float radius, DrawDirection_t drawDirection);

    std::vector<TickDisplay*> ticks;  // drawing order; owned
    bool minorTicksBetween;
    T value;
    float radius;
    Vector3D needleEndpoint;
    Vector3D minorTickColour;
    DrawDirection_t drawDirection;
    float rotationDivisor;
    std::map<std::string, Vector3D*> labelPositions;      // points owned
    std::vector<std::unique_ptr<Vector3D>> ownedColours;  // of the helper's minor ticks
    mutable std::mutex valueMutex;                        // value and needle, written together
};

template <>
std::string GaugeViewModel<std::string>::valueText(const std::string& value);

extern template class GaugeViewModel<int>;
extern template class GaugeViewModel<float>;
extern template class GaugeViewModel<std::string>;

}  // namespace vpcore
