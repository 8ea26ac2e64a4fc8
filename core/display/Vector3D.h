// Three floats: the geometry (tick positions, needle end points) and RGB colours (red, green,
// blue in x, y, z, each 0 to 1) that the gauge models hand to the OpenGL widgets.
#pragma once

#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT Vector3D {
public:
    Vector3D();
    Vector3D(float x, float y, float z);
    Vector3D(const Vector3D& other);
    Vector3D& operator=(const Vector3D& other);
    virtual ~Vector3D();

    // Component-wise; operator/ has no guard, a zero component gives infinity or NaN.
    Vector3D operator+(const Vector3D& other) const;
    Vector3D operator-(const Vector3D& other) const;
    Vector3D operator*(const Vector3D& other) const;
    Vector3D operator/(const Vector3D& other) const;

    // Float equality of all three components, so a NaN component is never equal.
    bool operator==(const Vector3D& other) const;
    bool operator!=(const Vector3D& other) const;

    // "1, 0.5, -2": default stream formatting (six significant digits) joined by ", ".
    std::string toString() const;

    float x;
    float y;
    float z;
};

}  // namespace vpcore
