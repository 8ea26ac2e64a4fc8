#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <algorithm>
#include <cmath>

#include "PlateGeometry.h"

namespace {

using namespace ombriximages;

constexpr double PI = 3.14159265358979323846;

// The pixel nearest the point at (radius, angle) of a dial image that spans gauge units -1 to
// 1, with the angle counter-clockwise from 3 o'clock.
QPoint pixelAt(const QImage& dial, double radius, double angleDegrees) {
    const double half = dial.width() / 2.0;
    const double a = angleDegrees * PI / 180.0;
    return QPoint(static_cast<int>(std::lround(half + radius * half * std::cos(a) - 0.5)),
                  static_cast<int>(std::lround(half - radius * half * std::sin(a) - 0.5)));
}

int alphaAt(const QImage& dial, double radius, double angleDegrees) {
    return qAlpha(dial.pixel(pixelAt(dial, radius, angleDegrees)));
}

// The darkest grey level (0-255) within one pixel of that point.
int darkestNear(const QImage& dial, double radius, double angleDegrees) {
    const QPoint centre = pixelAt(dial, radius, angleDegrees);
    int darkest = 255;
    for (int y = centre.y() - 1; y <= centre.y() + 1; ++y) {
        for (int x = centre.x() - 1; x <= centre.x() + 1; ++x) {
            darkest = std::min(darkest, qGray(dial.pixel(x, y)));
        }
    }
    return darkest;
}

TEST(ImageResourcesTest, EveryImageTheProgramNamesIsCompiledIn) {
    struct Case {
        const char* path;
        int size;
    };
    const Case cases[] = {
        {":/gauge_back_plate_new.png", 256},
        {":/gauge_face_plate_new.png", 256},
        {":/barometer_bg_1.png", 256},
        {":/icon2.png", 128},
        {":/Resources/settings.png", 32},
        {":/Resources/Down_Arrow.png", 32},
        {":/Resources/window_close_lighter.png", 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const QImage image(QString::fromLatin1(c.path));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(c.size, c.size));
        // Round things on square images: the corners let the window show through.
        EXPECT_TRUE(image.hasAlphaChannel());
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(c.size - 1, c.size - 1)), 0);
    }
}

// The options pages' indicators: 16 by 16, the "off" ones empty inside, the "on" ones not.
TEST(ImageResourcesTest, IndicatorImagesAreCompiledInAndDifferWhenOn) {
    for (const char* kind : {"checkbox", "radio"}) {
        for (const char* state : {"", "_disabled"}) {
            const QString off = QString(":/Resources/%1_unchecked%2.png").arg(kind, state);
            const QString on = QString(":/Resources/%1_checked%2.png").arg(kind, state);
            SCOPED_TRACE(on.toStdString());
            const QImage offImage(off);
            const QImage onImage(on);
            ASSERT_FALSE(offImage.isNull());
            ASSERT_FALSE(onImage.isNull());
            EXPECT_EQ(offImage.size(), QSize(16, 16));
            EXPECT_EQ(onImage.size(), QSize(16, 16));
            const auto lightPixels = [](const QImage& image) {
                int count = 0;
                for (int y = 4; y < 12; ++y) {
                    for (int x = 4; x < 12; ++x) {
                        count += qAlpha(image.pixel(x, y)) > 200 && qGray(image.pixel(x, y)) > 120;
                    }
                }
                return count;
            };
            EXPECT_EQ(lightPixels(offImage), 0) << "empty inside its frame";
            EXPECT_GT(lightPixels(onImage), 16);
        }
    }
}

TEST(ImageResourcesTest, DialsAreOpaqueAndLightWhereTheGaugeDrawsAndTheRimLeavesThemVisible) {
    const QImage plain(":/gauge_back_plate_new.png");
    const QImage barometer(":/barometer_bg_1.png");
    const QImage rim(":/gauge_face_plate_new.png");
    ASSERT_FALSE(plain.isNull());
    ASSERT_FALSE(barometer.isNull());
    ASSERT_FALSE(rim.isNull());
    for (int degree = 0; degree < 360; degree += 3) {
        SCOPED_TRACE(degree);
        // The temperature and wind faces draw their own labels (black, blue, red) round the
        // needle circle: the plain dial prints nothing there that they could clash with.
        for (double radius : {0.36, 0.43, 0.5, 0.57, 0.64}) {
            EXPECT_GE(darkestNear(plain, radius, degree), 200) << radius;
        }
        for (const QImage* dial : {&plain, &barometer}) {
            EXPECT_EQ(alphaAt(*dial, 0.7, degree), 255);
        }
        // The glass over the dial is nearly clear; the bezel beyond it is solid.
        EXPECT_LE(alphaAt(rim, 0.6, degree), 64);
        EXPECT_EQ(alphaAt(rim, 0.8, degree), 255);
    }
}

// Angles the gauge models give their tick places (3 o'clock, counter-clockwise, as seen).
TEST(BarometerPlateTest, TheGeneratorPlacesEachValueWhereTheModelsPutTheNeedle) {
    struct InHgCase {
        double inHg;
        double angle;
    };
    // 40 places of 9 degrees; 27.5 is the 11th place counted clockwise from 3 o'clock.
    const InHgCase inHg[] = {{27.5, 99.0}, {28.0, 144.0}, {29.9, 315.0},
                             {30.4, 0.0},  {30.5, 9.0},   {31.4, 90.0}};
    for (const InHgCase& c : inHg) {
        SCOPED_TRACE(c.inHg);
        EXPECT_NEAR(inHgAngle(c.inHg), c.angle, 1e-9);
    }
    struct MbCase {
        int mb;
        double angle;
    };
    // 71 places; the back face is seen turned over, so the drawn angle a shows as 180 - a.
    const double step = 360.0 / 71.0;
    const MbCase mb[] = {{940, 180.0 - 13 * step},
                         {966, 180.0},
                         {1000, 180.0 + 17 * step},
                         {1014, 180.0 + 24 * step},
                         {1060, 180.0 + 47 * step - 360.0}};
    for (const MbCase& c : mb) {
        SCOPED_TRACE(c.mb);
        EXPECT_NEAR(mbAngle(c.mb), c.angle, 1e-9);
    }
}

TEST(BarometerPlateTest, TheCommittedDialHasATickAtEveryNeedlePlaceAndNoneBetween) {
    const QImage dial(":/barometer_bg_1.png");
    ASSERT_FALSE(dial.isNull());
    // inHg ticks run inwards from the needle circle, mb ticks outwards.
    const double inHgRadius = NEEDLE_RADIUS - 0.035;
    const double mbRadius = NEEDLE_RADIUS + 0.045;
    const int dark = 150, light = 185;

    for (int tenth = 0; tenth < INHG_PLACES; ++tenth) {
        const double value = INHG_FIRST + tenth / 10.0;
        SCOPED_TRACE(value);
        const double angle = inHgAngle(value);
        EXPECT_LE(darkestNear(dial, inHgRadius, angle), dark);
        EXPECT_GE(darkestNear(dial, inHgRadius, angle + 4.5), light);
    }
    const double step = 360.0 / MB_PLACES;
    for (int mb = MB_FIRST; mb <= MB_LAST; mb += MB_STEP) {
        SCOPED_TRACE(mb);
        EXPECT_LE(darkestNear(dial, mbRadius, mbAngle(mb)), dark);
        EXPECT_GE(darkestNear(dial, mbRadius, mbAngle(mb) + step / 2.0), light);
    }
    // The ten empty places after 1060 mb carry no tick.
    for (int place = 1; place <= 10; ++place) {
        SCOPED_TRACE(place);
        EXPECT_GE(darkestNear(dial, mbRadius, mbAngle(MB_LAST) + place * step), light);
    }
}

}  // namespace
