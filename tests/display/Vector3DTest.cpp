#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "display/Vector3D.h"

using vpcore::Vector3D;

namespace {

TEST(Vector3DTest, ArithmeticIsComponentWise) {
    const Vector3D a(1.0f, 0.5f, -2.0f);
    const Vector3D b(4.0f, -0.25f, 8.0f);
    EXPECT_EQ(a + b, Vector3D(5.0f, 0.25f, 6.0f));
    EXPECT_EQ(a - b, Vector3D(-3.0f, 0.75f, -10.0f));
    EXPECT_EQ(a * b, Vector3D(4.0f, -0.125f, -16.0f));
    EXPECT_EQ(a / b, Vector3D(0.25f, -2.0f, -0.25f));
    EXPECT_EQ(a, Vector3D(1.0f, 0.5f, -2.0f));  // the operands are untouched

    const Vector3D byZero = a / Vector3D(0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(std::isinf(byZero.x) && byZero.x > 0);
    EXPECT_TRUE(std::isinf(byZero.z) && byZero.z < 0);
    EXPECT_TRUE(std::isnan((Vector3D() / Vector3D()).y));
}

TEST(Vector3DTest, EqualityComparesFloatsSoNanIsNeverEqual) {
    EXPECT_TRUE(Vector3D(1, 2, 3) == Vector3D(1, 2, 3));
    EXPECT_FALSE(Vector3D(1, 2, 3) != Vector3D(1, 2, 3));
    EXPECT_TRUE(Vector3D(1, 2, 3) != Vector3D(1, 2, 3.0001f));
    EXPECT_TRUE(Vector3D(0.0f, 0, 0) == Vector3D(-0.0f, 0, 0));
    const Vector3D withNan(1, std::numeric_limits<float>::quiet_NaN(), 3);
    EXPECT_FALSE(withNan == withNan);
    EXPECT_TRUE(withNan != withNan);
}

TEST(Vector3DTest, CopiesAndTextUseAllThreeComponents) {
    struct Case {
        Vector3D vector;
        const char* text;
    };
    const Case cases[] = {
        {Vector3D(), "0, 0, 0"},
        {Vector3D(1, 0.5f, -2), "1, 0.5, -2"},
        {Vector3D(0.1f, 1234567.0f, 1e-7f), "0.1, 1.23457e+06, 1e-07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.vector.toString(), c.text);
        Vector3D copy(c.vector);
        EXPECT_EQ(copy.toString(), c.text);
        Vector3D assigned(9, 9, 9);
        assigned = c.vector;
        EXPECT_EQ(assigned, c.vector);
    }
}

}  // namespace
