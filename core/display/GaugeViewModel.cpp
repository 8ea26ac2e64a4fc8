#include "display/GaugeViewModel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <set>
#include <sstream>
#include <stdexcept>

namespace vpcore {

template <class T>
GaugeViewModel<T>::GaugeViewModel(const std::vector<TickDisplay*>& ticks, float radius,
                                  bool minorTicksBetween, const Vector3D& minorTickColour,
                                  DrawDirection_t drawDirection, float rotationDivisor)
    : ticks(ticks),
      minorTicksBetween(minorTicksBetween),
      value(),
      radius(radius),
      needleEndpoint(0.0f, 0.0f, 0.0f),
      minorTickColour(minorTickColour),
      drawDirection(drawDirection),
      rotationDivisor(rotationDivisor) {
    rotateTicks();
    buildTicks();
}

template <class T>
GaugeViewModel<T>::GaugeViewModel(float radius, DrawDirection_t drawDirection)
    : minorTicksBetween(false),
      value(),
      radius(radius),
      needleEndpoint(0.0f, 0.0f, 0.0f),
      drawDirection(drawDirection),
      rotationDivisor(4.0f) {}

template <class T>
GaugeViewModel<T>::~GaugeViewModel() {
    // A point is shared by a tick and the label map, and ticks with the same label (the blank
    // gap ticks) leave points only their tick refers to: free each point once.
    std::set<Vector3D*> points;
    for (TickDisplay* tick : ticks) {
        if (tick->position != nullptr) {
            points.insert(tick->position);
        }
    }
    for (const auto& entry : labelPositions) {
        if (entry.second != nullptr) {
            points.insert(entry.second);
        }
    }
    for (Vector3D* point : points) {
        delete point;
    }
    for (TickDisplay* tick : ticks) {
        delete tick;
    }
}

template <class T>
void GaugeViewModel<T>::setValue(T newValue) {
    std::lock_guard<std::mutex> lock(valueMutex);
    value = newValue;
    updateNeedleEndpoint();
}

template <class T>
T GaugeViewModel<T>::getValue() const {
    std::lock_guard<std::mutex> lock(valueMutex);
    return value;
}

template <class T>
Vector3D GaugeViewModel<T>::getNeedleEndpoint() const {
    std::lock_guard<std::mutex> lock(valueMutex);
    return needleEndpoint;
}

template <class T>
void GaugeViewModel<T>::resetNeedle() {
    std::lock_guard<std::mutex> lock(valueMutex);
    needleEndpoint = Vector3D(0.0f, 0.0f, 0.0f);
}

template <class T>
void GaugeViewModel<T>::pointOnCircle(Vector3D* out, double index, double count) {
    const double angle = index * 6.283185307179586 / count;
    out->x = static_cast<float>(std::cos(angle) * radius);
    out->y = static_cast<float>(std::sin(angle) * radius);
    out->z = 0.0f;
}

template <class T>
void GaugeViewModel<T>::offsetMinorTick(Vector3D* point) {
    point->x += 0.06f;
    point->y += 0.05f;
}

template <class T>
std::string GaugeViewModel<T>::valueText(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

template <>
std::string GaugeViewModel<std::string>::valueText(const std::string& value) {
    return value;
}

template <class T>
void GaugeViewModel<T>::rotateTicks() {
    if (drawDirection == DRAW_DIRECTION_REVERSED) {
        std::reverse(ticks.begin(), ticks.end());
    }
    // The size is divided in single precision, as the divisor is a float.
    const double quotient = static_cast<float>(ticks.size()) / rotationDivisor;
    const double count = std::trunc(quotient - 1.0);
    // Also stops for a divisor of 0 or below (infinite, NaN or negative counts).
    if (!(count >= 1.0) || !std::isfinite(count)) {
        return;
    }
    // A rotation to the right: the last `count` ticks go first.
    const auto shift =
        static_cast<std::ptrdiff_t>(std::fmod(count, static_cast<double>(ticks.size())));
    std::rotate(ticks.begin(), ticks.end() - shift, ticks.end());
}

template <class T>
void GaugeViewModel<T>::buildTicks() {
    const std::size_t n = minorTicksBetween ? ticks.size() * 2 : ticks.size();
    std::vector<TickDisplay*> built;
    built.reserve(n);
    auto given = ticks.begin();
    // The index falls while the list advances: the first tick lies at 2pi and the rest run
    // towards smaller angles.
    for (std::size_t i = n; i >= 1; --i) {
        Vector3D* point = new Vector3D();
        pointOnCircle(point, static_cast<double>(i), static_cast<double>(n));
        if (!minorTicksBetween || i % 2 == 0) {
            if (given == ticks.end()) {
                delete point;
                throw std::runtime_error("TickDisplay list size must be even.");
            }
            TickDisplay* tick = *given++;
            tick->position = point;
            built.push_back(tick);
            labelPositions[tick->label] = point;
        } else {
            offsetMinorTick(point);
            MinorTickDisplay* minor = new MinorTickDisplay(std::string());
            minor->colour = &minorTickColour;
            minor->position = point;
            built.push_back(minor);
        }
    }
    ticks.swap(built);
}

template <class T>
void GaugeViewModel<T>::placeTicks() {
    const std::size_t n = ticks.size();
    std::set<Vector3D*> labelCopies;  // points only the label map refers to
    for (std::size_t j = 0; j < n; ++j) {
        TickDisplay* tick = ticks[j];
        Vector3D* point = new Vector3D();
        pointOnCircle(point, static_cast<double>(n - j), static_cast<double>(n));
        Vector3D*& labelPoint = labelPositions[tick->label];
        if (labelCopies.erase(labelPoint) > 0) {
            delete labelPoint;
        }
        if (dynamic_cast<MinorTickDisplay*>(tick) == nullptr) {
            labelPoint = point;
        } else {
            // The label keeps the point on the circle; the dot itself is shifted.
            labelPoint = new Vector3D(*point);
            labelCopies.insert(labelPoint);
            offsetMinorTick(point);
        }
        tick->position = point;
    }
}

template <class T>
void GaugeViewModel<T>::updateNeedleEndpoint() {
    const auto found = labelPositions.find(valueText(value));
    if (found != labelPositions.end() && found->second != nullptr) {
        needleEndpoint = *found->second;
    }
}

template class GaugeViewModel<int>;
template class GaugeViewModel<float>;
template class GaugeViewModel<std::string>;

}  // namespace vpcore
