// Where the gauge needles point on the printed barometer dial, for the image generator and
// the tests that hold the committed dial against the gauge models. Angles are in degrees,
// counter-clockwise from 3 o'clock, as the dial is seen on screen; radii are in gauge units
// (the dial image spans -1 to 1).
#pragma once

#include <cmath>

namespace ombriximages {

// The radius on which the models put every tick and so every needle end point.
constexpr double NEEDLE_RADIUS = 0.5;

// The gauge models lay `count` places round the circle from a list turned right by
// `rotation` places: the first place of the turned list lies at 3 o'clock and the others
// follow clockwise, one 360/count step apart. Angle of the entry at `index` of the list as it
// was before the turn.
inline double placeAngle(int index, int count, int rotation) {
    const int turned = (index + rotation) % count;
    const double angle = (count - turned) * 360.0 / count;
    return std::fmod(angle, 360.0);
}

// The inHg face (the front of the pressure gauge): 40 places for 27.5 to 31.4 inHg by 0.1,
// listed from the highest value down and turned right by (int)(40 / 1.27 - 1) places.
// The face is seen as it is drawn.
constexpr double INHG_FIRST = 27.5;
constexpr double INHG_LAST = 31.4;
constexpr int INHG_PLACES = 40;

inline double inHgAngle(double inHg) {
    const int rotation = static_cast<int>(INHG_PLACES / 1.27 - 1.0);
    const int fromFirst = static_cast<int>(std::lround((inHg - INHG_FIRST) * 10.0));
    return placeAngle(INHG_PLACES - 1 - fromFirst, INHG_PLACES, rotation);
}

// The mb face (the back of the pressure gauge): 61 places for 940 to 1060 mb by 2, then 10
// empty places, listed upwards and turned right by (int)(71 / 1.2 - 1) places. The back face
// is turned over to be seen, so left and right swap: screen angle = 180 - drawn angle.
constexpr int MB_FIRST = 940;
constexpr int MB_LAST = 1060;
constexpr int MB_STEP = 2;
constexpr int MB_PLACES = (MB_LAST - MB_FIRST) / MB_STEP + 1 + 10;

inline double mbAngle(int mb) {
    const int rotation = static_cast<int>(MB_PLACES / 1.2 - 1.0);
    const double drawn = placeAngle((mb - MB_FIRST) / MB_STEP, MB_PLACES, rotation);
    return std::fmod(180.0 - drawn + 360.0, 360.0);
}

}  // namespace ombriximages
