// Draws the program's resource images (gauge dials, the glass rim, the barometer dial with
// its two printed scales, the program icon and the window buttons) and writes them as PNG
// files into the folder given on the command line. See README.md.
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>
#include <cmath>
#include <functional>

#include "PlateGeometry.h"

namespace {

using namespace ombriximages;

constexpr int DIAL_SIZE = 256;  // the gauge textures; they are shown at about 135 px
constexpr double PI = 3.14159265358979323846;

// Dial, rim and glass radii in gauge units. The rim lies nearer the viewer than the dial, so
// it looks about 4.6 % larger: its inner edge, 0.75 on its own image, covers the dial's edge.
constexpr double DIAL_RADIUS = 0.80;
constexpr double RIM_INNER = 0.75;
constexpr double RIM_OUTER = 0.86;

const QColor INK(17, 29, 54);       // the inHg scale and text
const QColor MB_INK(123, 45, 38);   // the mb scale
const QColor GUIDE(160, 171, 190);  // quiet rings of the plain dial
const QColor GLYPH(232, 238, 252);  // window buttons, on the midnight blue of the title strip

QString fontFamily;

// Gauge units to pixels of a square image of `size` pixels.
struct Frame {
    explicit Frame(int size) : size(size), unit(size / 2.0) {}
    QPointF polar(double radius, double angleDegrees) const {
        const double a = angleDegrees * PI / 180.0;
        return QPointF(unit + radius * unit * std::cos(a), unit - radius * unit * std::sin(a));
    }
    double px(double units) const { return units * unit; }
    QRectF circle(double radius) const {
        return QRectF(unit - px(radius), unit - px(radius), px(2 * radius), px(2 * radius));
    }
    int size;
    double unit;
};

QImage blankImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void beginPainter(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QFont font(double pixelSize, bool bold) {
    QFont f(fontFamily);
    f.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// The light face every dial shares: a silvery disc, lit from the centre, with a fine edge.
void paintDialFace(QPainter& painter, const Frame& frame) {
    QRadialGradient face(frame.polar(0, 0), frame.px(DIAL_RADIUS), frame.polar(0.12, 110));
    face.setColorAt(0.0, QColor(252, 253, 255));
    face.setColorAt(0.7, QColor(234, 238, 245));
    face.setColorAt(1.0, QColor(206, 214, 228));
    painter.setPen(Qt::NoPen);
    painter.setBrush(face);
    painter.drawEllipse(frame.circle(DIAL_RADIUS));

    // A soft shadow under the rim gives the face its depth.
    QRadialGradient shade(frame.polar(0, 0), frame.px(DIAL_RADIUS));
    shade.setColorAt(0.86, QColor(20, 32, 60, 0));
    shade.setColorAt(1.0, QColor(20, 32, 60, 70));
    painter.setBrush(shade);
    painter.drawEllipse(frame.circle(DIAL_RADIUS));
}

void drawRing(QPainter& painter, const Frame& frame, double radius, const QColor& colour,
              double width) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, width));
    painter.drawEllipse(frame.circle(radius));
}

// A counter-clockwise arc from `fromDegrees` over `spanDegrees`.
void drawArc(QPainter& painter, const Frame& frame, double radius, double fromDegrees,
             double spanDegrees, const QColor& colour, double width) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    painter.drawArc(frame.circle(radius), static_cast<int>(std::lround(fromDegrees * 16)),
                    static_cast<int>(std::lround(spanDegrees * 16)));
}

void drawTick(QPainter& painter, const Frame& frame, double angle, double from, double to,
              const QColor& colour, double width) {
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(frame.polar(from, angle), frame.polar(to, angle));
}

// Text centred on the point at (radius, angle), its baseline along the circle; upright on the
// upper half, and turned so that it reads from left to right on the lower half.
void drawCurvedLabel(QPainter& painter, const Frame& frame, const QString& text, double radius,
                     double angle, const QFont& f, const QColor& colour) {
    const double a = std::fmod(angle + 360.0, 360.0);
    const bool lowerHalf = a > 180.0;
    painter.save();
    painter.translate(frame.polar(radius, a));
    painter.rotate(lowerHalf ? 270.0 - a : 90.0 - a);
    painter.setFont(f);
    painter.setPen(colour);
    const QFontMetricsF metrics(f);
    const double width = metrics.horizontalAdvance(text);
    const double middle = (metrics.ascent() - metrics.descent()) / 2.0;
    painter.drawText(QPointF(-width / 2.0, middle), text);
    painter.restore();
}

// The plain dial behind the temperature and wind faces. Their labels are drawn over it on the
// needle circle by the gauge itself, each face with its own spacing, so it prints no scale:
// only two quiet rings that frame the band where the labels lie.
QImage gaugeBackPlate() {
    QImage image = blankImage(DIAL_SIZE);
    const Frame frame(DIAL_SIZE);
    QPainter painter(&image);
    beginPainter(painter);
    paintDialFace(painter, frame);
    drawRing(painter, frame, 0.70, GUIDE, 1.0);
    drawRing(painter, frame, 0.72, GUIDE, 0.6);
    drawRing(painter, frame, 0.31, GUIDE, 1.0);
    return image;
}

// The barometer dial: the inHg scale inside the needle circle for the front face, the mb
// scale outside it for the back face, at the places where each face's needle points.
QImage barometerPlate() {
    QImage image = blankImage(DIAL_SIZE);
    const Frame frame(DIAL_SIZE);
    QPainter painter(&image);
    beginPainter(painter);
    paintDialFace(painter, frame);

    const double inner = NEEDLE_RADIUS - 0.005;
    const double outer = NEEDLE_RADIUS + 0.015;

    // inHg, every 0.1; longer at each half inch, longest and numbered at whole inches.
    const double firstAngle = inHgAngle(INHG_FIRST);
    drawArc(painter, frame, inner, firstAngle, 351.0, INK, 1.2);
    for (int tenth = 0; tenth < INHG_PLACES; ++tenth) {
        const double angle = inHgAngle(INHG_FIRST + tenth / 10.0);
        const int value = 275 + tenth;  // in tenths of an inch: 275 is 27.5
        if (value % 10 == 0) {
            drawTick(painter, frame, angle, inner, 0.395, INK, 2.2);
            drawCurvedLabel(painter, frame, QString::number(value / 10), 0.335, angle,
                            font(17, true), INK);
        } else if (value % 5 == 0) {
            drawTick(painter, frame, angle, inner, 0.415, INK, 1.6);
        } else {
            drawTick(painter, frame, angle, inner, 0.45, INK, 1.1);
        }
    }
    drawCurvedLabel(painter, frame, "inHg", 0.335, 90.0, font(12, true), INK);

    // mb, every 2; longer at every 10, numbered at every 20.
    const double mbSpan = std::fmod(mbAngle(MB_LAST) - mbAngle(MB_FIRST) + 360.0, 360.0);
    drawArc(painter, frame, outer, mbAngle(MB_FIRST), mbSpan, MB_INK, 1.2);
    for (int mb = MB_FIRST; mb <= MB_LAST; mb += MB_STEP) {
        const double angle = mbAngle(mb);
        if (mb % 10 == 0) {
            drawTick(painter, frame, angle, outer, 0.605, MB_INK, 2.0);
        } else {
            drawTick(painter, frame, angle, outer, 0.565, MB_INK, 1.1);
        }
        if (mb % 20 == 0) {
            drawCurvedLabel(painter, frame, QString::number(mb), 0.675, angle, font(15, true),
                            MB_INK);
        }
    }
    drawCurvedLabel(painter, frame, "mb", 0.675, 90.0, font(13, true), MB_INK);
    return image;
}

// The rim in front of every gauge: a dark blue bezel lit from above, and the faint glare of
// the glass over the upper part of the dial. Transparent elsewhere, so the dial shows through.
QImage gaugeFacePlate() {
    QImage image = blankImage(DIAL_SIZE);
    const Frame frame(DIAL_SIZE);
    QPainter painter(&image);
    beginPainter(painter);

    QPainterPath bezel;
    bezel.addEllipse(frame.circle(RIM_OUTER));
    bezel.addEllipse(frame.circle(RIM_INNER));
    QLinearGradient metal(frame.polar(RIM_OUTER, 90), frame.polar(RIM_OUTER, 270));
    metal.setColorAt(0.0, QColor(104, 128, 178));
    metal.setColorAt(0.45, QColor(31, 50, 94));
    metal.setColorAt(1.0, QColor(9, 18, 40));
    painter.setPen(Qt::NoPen);
    painter.setBrush(metal);
    painter.drawPath(bezel);

    // The inner lip, lit from below where the outer face is in shadow.
    QPainterPath lip;
    lip.addEllipse(frame.circle(RIM_INNER + 0.025));
    lip.addEllipse(frame.circle(RIM_INNER));
    QLinearGradient lipLight(frame.polar(RIM_INNER, 90), frame.polar(RIM_INNER, 270));
    lipLight.setColorAt(0.0, QColor(8, 16, 36));
    lipLight.setColorAt(1.0, QColor(120, 144, 190));
    painter.setBrush(lipLight);
    painter.drawPath(lip);

    drawRing(painter, frame, RIM_OUTER - 0.004, QColor(170, 190, 230, 170), 1.0);
    drawRing(painter, frame, RIM_INNER, QColor(4, 9, 22), 1.2);

    // Glare: a crescent of light on the glass, fading towards the centre.
    QPainterPath glass;
    glass.addEllipse(frame.circle(RIM_INNER - 0.01));
    QPainterPath crescent;
    crescent.addEllipse(QRectF(frame.polar(0.62, 180).x(), frame.polar(0.72, 90).y(),
                               frame.px(1.24), frame.px(0.80)));
    QLinearGradient glare(frame.polar(0.72, 90), frame.polar(0.1, 270));
    glare.setColorAt(0.0, QColor(255, 255, 255, 60));
    glare.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glare);
    painter.drawPath(glass.intersected(crescent));
    return image;
}

// The program icon: a small gauge with its needle, on the window's midnight blue.
QImage programIcon() {
    const int size = 128;
    QImage image = blankImage(size);
    const Frame frame(size);
    QPainter painter(&image);
    beginPainter(painter);

    QLinearGradient metal(frame.polar(0.96, 90), frame.polar(0.96, 270));
    metal.setColorAt(0.0, QColor(104, 128, 178));
    metal.setColorAt(0.5, QColor(25, 25, 112));
    metal.setColorAt(1.0, QColor(9, 18, 40));
    painter.setPen(Qt::NoPen);
    painter.setBrush(metal);
    painter.drawEllipse(frame.circle(0.96));

    QRadialGradient face(frame.polar(0, 0), frame.px(0.76), frame.polar(0.15, 110));
    face.setColorAt(0.0, QColor(252, 253, 255));
    face.setColorAt(1.0, QColor(200, 210, 228));
    painter.setBrush(face);
    painter.drawEllipse(frame.circle(0.76));

    for (int i = 0; i <= 8; ++i) {
        const double angle = 225.0 - i * 33.75;
        drawTick(painter, frame, angle, 0.58, i % 2 == 0 ? 0.72 : 0.66, INK, i % 2 == 0 ? 5 : 3);
    }
    painter.setPen(QPen(QColor(220, 20, 20), 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(frame.polar(0.12, 230), frame.polar(0.62, 50));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(128, 128, 128));
    painter.drawEllipse(frame.circle(0.14));
    return image;
}

// The three window buttons, 32 by 32, light glyphs for the dark title strip.
QImage settingsButton() {
    const int size = 32;
    QImage image = blankImage(size);
    QPainter painter(&image);
    beginPainter(painter);
    const Frame frame(size);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        // Each tooth: two points on the outer circle, two on the root circle.
        const double angle = (i - 0.5) * 360.0 / (teeth * 4);
        const double radius = (i % 4 < 2) ? 0.86 : 0.64;
        const QPointF point = frame.polar(radius, angle);
        if (i == 0) {
            gear.moveTo(point);
        } else {
            gear.lineTo(point);
        }
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(frame.circle(0.28));
    painter.setPen(Qt::NoPen);
    painter.setBrush(GLYPH);
    painter.drawPath(gear.subtracted(hole));
    return image;
}

// The same ring as the close button, around a chevron that points down to the tray.
QImage downArrowButton() {
    const int size = 32;
    QImage image = blankImage(size);
    QPainter painter(&image);
    beginPainter(painter);
    const Frame frame(size);
    painter.setPen(QPen(GLYPH, 2.0));
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawEllipse(frame.circle(0.86));
    painter.setPen(QPen(GLYPH, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(
        QPolygonF({frame.polar(0.45, 160), frame.polar(0.3, 270), frame.polar(0.45, 20)}));
    return image;
}

QImage closeButton() {
    const int size = 32;
    QImage image = blankImage(size);
    QPainter painter(&image);
    beginPainter(painter);
    const Frame frame(size);
    painter.setPen(QPen(QColor(245, 248, 255), 2.0));
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawEllipse(frame.circle(0.86));
    painter.setPen(QPen(QColor(245, 248, 255), 3.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(frame.polar(0.42, 135), frame.polar(0.42, 315));
    painter.drawLine(frame.polar(0.42, 45), frame.polar(0.42, 225));
    return image;
}

// The check box and radio button indicators of the options pages, 16 by 16, for their midnight
// blue gradient: an empty frame or ring when off (the page shows through, so nothing in it
// reads as a mark); a light box with a dark tick, or a light dot inside the ring, when on.
// Disabled ones are the same in grey.
constexpr int INDICATOR_SIZE = 16;
const QColor PAGE_BLUE(25, 25, 112);
const QColor INDICATOR_OFF_GLYPH(150, 150, 165);

QImage checkBoxIndicator(bool checked, bool enabled) {
    QImage image = blankImage(INDICATOR_SIZE);
    QPainter painter(&image);
    beginPainter(painter);
    const QColor ink = enabled ? GLYPH : INDICATOR_OFF_GLYPH;
    const QRectF box(1.0, 1.0, INDICATOR_SIZE - 2.0, INDICATOR_SIZE - 2.0);
    painter.setPen(QPen(ink, 2.0));
    painter.setBrush(checked ? QBrush(ink) : QBrush(Qt::NoBrush));
    painter.drawRoundedRect(box, 2.0, 2.0);
    if (checked) {
        painter.setPen(QPen(PAGE_BLUE, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(
            QPolygonF({QPointF(4.0, 8.2), QPointF(6.8, 11.0), QPointF(12.0, 5.0)}));
    }
    return image;
}

QImage radioIndicator(bool checked, bool enabled) {
    QImage image = blankImage(INDICATOR_SIZE);
    QPainter painter(&image);
    beginPainter(painter);
    const QColor ink = enabled ? GLYPH : INDICATOR_OFF_GLYPH;
    const double centre = INDICATOR_SIZE / 2.0;
    painter.setPen(QPen(ink, 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(centre, centre), centre - 1.0, centre - 1.0);
    if (checked) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawEllipse(QPointF(centre, centre), 3.5, 3.5);
    }
    return image;
}

bool save(const QImage& image, const QDir& folder, const QString& name, QTextStream& err) {
    const QString path = folder.filePath(name);
    if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG", 9)) {
        err << "Could not write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // No display is needed; fonts still come through fontconfig.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "Usage: " << argv[0] << " <output folder>\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists()) {
        err << "No such folder: " << folder.path() << "\n";
        return 2;
    }
    // The dial texts come from one font file, so that every machine draws the same pixels.
    const int fontId = QFontDatabase::addApplicationFont(
        "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf");
    if (fontId < 0) {
        err << "Liberation Sans Bold not found; install fonts-liberation2\n";
        return 1;
    }
    fontFamily = QFontDatabase::applicationFontFamilies(fontId).value(0);

    const struct {
        const char* name;
        std::function<QImage()> draw;
    } images[] = {
        {"gauge_back_plate_new.png", gaugeBackPlate},
        {"gauge_face_plate_new.png", gaugeFacePlate},
        {"barometer_bg_1.png", barometerPlate},
        {"icon2.png", programIcon},
        {"settings.png", settingsButton},
        {"Down_Arrow.png", downArrowButton},
        {"window_close_lighter.png", closeButton},
        {"checkbox_unchecked.png", [] { return checkBoxIndicator(false, true); }},
        {"checkbox_checked.png", [] { return checkBoxIndicator(true, true); }},
        {"checkbox_unchecked_disabled.png", [] { return checkBoxIndicator(false, false); }},
        {"checkbox_checked_disabled.png", [] { return checkBoxIndicator(true, false); }},
        {"radio_unchecked.png", [] { return radioIndicator(false, true); }},
        {"radio_checked.png", [] { return radioIndicator(true, true); }},
        {"radio_unchecked_disabled.png", [] { return radioIndicator(false, false); }},
        {"radio_checked_disabled.png", [] { return radioIndicator(true, false); }},
    };
    for (const auto& entry : images) {
        if (!save(entry.draw(), folder, entry.name, err)) {
            return 1;
        }
    }
    return 0;
}
