#include "display/Vector3D.h"

#include <sstream>

namespace vpcore {

Vector3D::Vector3D() : x(0.0f), y(0.0f), z(0.0f) {}

Vector3D::Vector3D(float x, float y, float z) : x(x), y(y), z(z) {}

Vector3D::Vector3D(const Vector3D& other) = default;

Vector3D& Vector3D::operator=(const Vector3D& other) = default;

Vector3D::~Vector3D() = default;

Vector3D Vector3D::operator+(const Vector3D& other) const {
    return Vector3D(x + other.x, y + other.y, z + other.z);
}

Vector3D Vector3D::operator-(const Vector3D& other) const {
    return Vector3D(x - other.x, y - other.y, z - other.z);
}

Vector3D Vector3D::operator*(const Vector3D& other) const {
    return Vector3D(x * other.x, y * other.y, z * other.z);
}

Vector3D Vector3D::operator/(const Vector3D& other) const {
    return Vector3D(x / other.x, y / other.y, z / other.z);
}

bool Vector3D::operator==(const Vector3D& other) const {
    return x == other.x && y == other.y && z == other.z;
}

bool Vector3D::operator!=(const Vector3D& other) const {
    return !(*this == other);
}

std::string Vector3D::toString() const {
    std::ostringstream out;
    out << x << ", " << y << ", " << z;
    return out.str();
}

}  // namespace vpcore
