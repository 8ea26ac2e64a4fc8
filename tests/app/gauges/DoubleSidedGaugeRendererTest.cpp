// The gauge widget drawn for real (Mesa's software renderer under the virtual display): the
// needle's angle, the read-out and the back face are read back from its framebuffer; flips
// are driven by mouse presses and animation steps; repaints are counted.
#include <gtest/gtest.h>

#include <QColor>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QWindow>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "AppTestSupport.h"
#include "DoubleSidedGaugeRendererTestAccess.h"
#include "LogCapture.h"
#include "display/AnimationManager.h"
#include "display/BarometerEngViewModel.h"
#include "display/BarometerMetricViewModel.h"
#include "display/TempEngViewModel.h"
#include "display/TempMetricViewModel.h"
#include "display/WindViewModel.h"
#include "gauges/DoubleSidedGaugeRenderer.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "shell/GlDriverPin.h"
#include "shell/Vesparo.h"
#include "weather/LocationService.h"

using namespace vpcore;
using Access = DoubleSidedGaugeRendererTestAccess;

namespace {

constexpr int kSize = 160;
constexpr double kPi = 3.14159265358979323846;

// Counts the frames the widget draws.
class CountingGauge : public DoubleSidedGaugeRenderer {
public:
    using DoubleSidedGaugeRenderer::DoubleSidedGaugeRenderer;
    int paints = 0;

protected:
    void paintGL() override {
        ++paints;
        DoubleSidedGaugeRenderer::paintGL();
    }
};

bool isNeedleRed(QRgb pixel) {
    return qRed(pixel) > 180 && qGreen(pixel) < 90 && qBlue(pixel) < 90;
}

bool isWhite(QRgb pixel) {
    return qRed(pixel) > 235 && qGreen(pixel) > 235 && qBlue(pixel) > 235;
}

// Where the needle points on the picture, in degrees counter-clockwise from the right, from
// the red pixels of a ring just outside the hub (which covers the needle's root); NaN when
// the ring holds no red.
double needleAngle(const QImage& image, int* redPixels = nullptr) {
    const double cx = image.width() / 2.0;
    const double cy = image.height() / 2.0;
    double sumX = 0.0;
    double sumY = 0.0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x + 0.5 - cx;
            const double dy = cy - (y + 0.5);
            const double distance = std::hypot(dx, dy);
            if (distance < 25.0 || distance > 31.0 || !isNeedleRed(image.pixel(x, y))) {
                continue;
            }
            sumX += dx / distance;
            sumY += dy / distance;
            ++count;
        }
    }
    if (redPixels != nullptr) {
        *redPixels = count;
    }
    if (count == 0) {
        return std::nan("");
    }
    return std::atan2(sumY, sumX) * 180.0 / kPi;
}

// The angle a needle end point (face units, y up) shows at, on the front or, turned over,
// on the back (left and right swapped).
double expectedAngle(const Vector3D& end, int face) {
    const double x = face == 0 ? end.x : -end.x;
    return std::atan2(end.y, x) * 180.0 / kPi;
}

double angleBetween(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

bool isHubGrey(QRgb pixel) {
    return std::abs(qRed(pixel) - 128) < 12 && std::abs(qGreen(pixel) - 128) < 12 &&
           std::abs(qBlue(pixel) - 128) < 12;
}

// Pixels of the middle of the gauge, where the grey hub carries the white read-out.
int middlePixels(const QImage& image, bool (*match)(QRgb)) {
    const int cx = image.width() / 2;
    const int cy = image.height() / 2;
    int count = 0;
    for (int y = cy - 10; y <= cy + 10; ++y) {
        for (int x = cx - 16; x <= cx + 16; ++x) {
            if (match(image.pixel(x, y))) {
                ++count;
            }
        }
    }
    return count;
}

// Pixels that are not opaque: the window composes the gauge's framebuffer by its alpha, so a
// translucent pixel there shows the window through the dial, or garbage.
int translucentPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 255) {
                ++count;
            }
        }
    }
    return count;
}

int readoutPixels(const QImage& image) {
    return middlePixels(image, isWhite);
}

// A face of hand-placed ticks, one of each kind the widget draws differently.
class TickFixtureModel : public IGaugeViewModel {
public:
    ~TickFixtureModel() override {
        for (TickDisplay* tick : ticks) {
            delete tick->colour;
            delete tick->position;
            delete tick;
        }
    }
    void constructView() override {
        add(new MinorTickDisplay(), new Vector3D(0.0f, 1.0f, 0.0f), 0.5f, 0.5f, true);
        add(new MinorTickDisplay(), nullptr, 0.5f, -0.5f, true);
        add(new MajorTickDisplay("88"), nullptr, -0.5f, -0.3f, true);
        add(new MajorTickDisplay("88"), new Vector3D(0.0f, 0.0f, 1.0f), -0.5f, 0.3f, false);
    }
    const std::vector<TickDisplay*>* getTicks() const override { return &ticks; }
    Vector3D getNeedleEndpoint() const override { return needle; }
    std::vector<std::string> getMajorTickDisplayValues() const override { return {"88"}; }
    void setDigitalValue(const std::string&) override {}
    std::string getDigitalValue() const override { return std::string(); }

private:
    void add(TickDisplay* tick, Vector3D* colour, float x, float y, bool visible) {
        tick->colour = colour;
        tick->position = new Vector3D(x, y, 0.0f);
        tick->visible = visible;
        ticks.push_back(tick);
    }

    std::vector<TickDisplay*> ticks;
    Vector3D needle;
};

// Pixels of the square of half size `reach` round (cx, cy) that match.
int pixelsNear(const QImage& image, int cx, int cy, int reach, bool (*match)(QRgb)) {
    int count = 0;
    for (int y = cy - reach; y <= cy + reach; ++y) {
        for (int x = cx - reach; x <= cx + reach; ++x) {
            if (image.rect().contains(x, y) && match(image.pixel(x, y))) {
                ++count;
            }
        }
    }
    return count;
}

bool isGreen(QRgb pixel) {
    return qGreen(pixel) > 120 && qRed(pixel) < 100 && qBlue(pixel) < 100;
}
bool isDark(QRgb pixel) {
    return qRed(pixel) < 70 && qGreen(pixel) < 70 && qBlue(pixel) < 70;
}
bool isPureBlue(QRgb pixel) {
    return qBlue(pixel) > 180 && qRed(pixel) < 60 && qGreen(pixel) < 60;
}

class DoubleSidedGaugeRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // Mesa's software renderer draws on threads of its own whose locks ThreadSanitizer
        // cannot see; the tests that draw are left to the other builds.
        GTEST_SKIP() << "drawing with Mesa under ThreadSanitizer";
#endif
        // The current conditions register the ids the gauges hear, once per process; a test
        // of the main window needs them registered by that publisher.
        LocationService::Instance();
        auto& service = NotificationService::Instance();
        const std::set<short> registered = service.getRegisteredPropertyIds();
        std::set<short> missing;
        for (short id : {PROP_TEMP_F, PROP_TEMP_C, PROP_PRESSURE_MB, PROP_PRESSURE_IN,
                         PROP_WIND_MPH, PROP_WIND_KMH, PROP_WIND_DIR, PROP_CONDITIONS_RESET}) {
            if (registered.count(id) == 0) {
                missing.insert(id);
            }
        }
        if (!missing.empty()) {
            service.registerPropertyIds(missing);
        }
    }

    // A gauge as the main window builds it: a dark snapshot behind it, 160 by 160, shown.
    template <class Gauge = DoubleSidedGaugeRenderer>
    static std::unique_ptr<Gauge> makeGauge(IGaugeViewModel* front, IGaugeViewModel* back) {
        auto* background = new QImage(256, 256, QImage::Format_RGB32);
        background->fill(QColor(25, 25, 112));
        front->setBackgroundImage(background);
        auto gauge = std::make_unique<Gauge>(nullptr, front, back);
        gauge->resize(kSize, kSize);
        gauge->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(gauge.get()));
#if defined(__SANITIZE_ADDRESS__)
        keepGlDriverLoaded();
#endif
        return gauge;
    }

    // Published from a worker thread, as the scheduler's runner does; joined before the GUI
    // thread looks, so the models are written before the widget reads them.
    template <class T>
    static void publish(short id, T oldValue, T newValue) {
        std::thread worker(
            [&] { NotificationService::Instance().notify<T>(id, &oldValue, &newValue); });
        worker.join();
    }

    static void flipFully(DoubleSidedGaugeRenderer& gauge) {
        QTest::mouseClick(&gauge, Qt::LeftButton);
        for (int i = 0; i < 120 && Access::flipping(gauge); ++i) {
            gauge.animationStep();
        }
        ASSERT_FALSE(Access::flipping(gauge));
    }
};

TEST_F(DoubleSidedGaugeRendererTest, TheNeedlePointsAtTheReadingAndTheReadoutIsDrawn) {
    auto* front = new TempEngViewModel();
    auto gauge = makeGauge(front, new TempMetricViewModel());

    for (float fahrenheit : {72.4f, -20.0f, 31.6f, 100.0f}) {
        SCOPED_TRACE(fahrenheit);
        publish<float>(PROP_TEMP_F, 0.0f, fahrenheit);
        const QImage picture = gauge->grabFramebuffer();
        ASSERT_FALSE(picture.isNull());
        int red = 0;
        const double angle = needleAngle(picture, &red);
        EXPECT_GT(red, 8);
        EXPECT_LT(angleBetween(angle, expectedAngle(front->getNeedleEndpoint(), 0)), 6.0)
            << "drawn at " << angle;
        EXPECT_GT(readoutPixels(picture), 15);
        EXPECT_EQ(translucentPixels(Access::drawFrameWithAlpha(*gauge)), 0);
    }
}

TEST_F(DoubleSidedGaugeRendererTest, AfterAFlipTheBackFaceIsShownMirrored) {
    auto* front = new WindViewModel(WindViewModel::UNITS_MPH);
    auto* back = new WindViewModel(WindViewModel::UNITS_KMH);
    auto gauge = makeGauge(front, back);
    publish<std::string>(PROP_WIND_DIR, "", "E");
    publish<float>(PROP_WIND_KMH, 0.0f, 19.0f);

    const double frontAngle = expectedAngle(front->getNeedleEndpoint(), 0);
    const double backAngle = expectedAngle(back->getNeedleEndpoint(), 1);
    ASSERT_GT(angleBetween(frontAngle, backAngle), 30.0) << "the faces must differ to tell";
    EXPECT_LT(angleBetween(needleAngle(gauge->grabFramebuffer()), frontAngle), 6.0);

    flipFully(*gauge);
    EXPECT_FLOAT_EQ(Access::angle(*gauge), 180.0f);
    const QImage picture = gauge->grabFramebuffer();
    EXPECT_LT(angleBetween(needleAngle(picture), backAngle), 6.0);
    EXPECT_GT(readoutPixels(picture), 15);
    EXPECT_EQ(gauge->toolTip().toStdString(), back->getToolTip());

    flipFully(*gauge);
    EXPECT_FLOAT_EQ(Access::angle(*gauge), 0.0f);
    EXPECT_LT(angleBetween(needleAngle(gauge->grabFramebuffer()), frontAngle), 6.0);
    EXPECT_EQ(gauge->toolTip().toStdString(), front->getToolTip());
}

TEST_F(DoubleSidedGaugeRendererTest, AGaugeWithoutABackShowsAnEmptyBack) {
    auto* front = new BarometerEngViewModel();
    auto gauge = makeGauge(front, nullptr);
    EXPECT_EQ(gauge->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(gauge->property("playsound").toString(), "whirl");
    publish<float>(PROP_PRESSURE_IN, 0.0f, 29.92f);
    ASSERT_FALSE(std::isnan(needleAngle(gauge->grabFramebuffer())));
    EXPECT_FALSE(gauge->toolTip().isEmpty());

    flipFully(*gauge);
    EXPECT_EQ(Access::side(*gauge), 1);
    const QImage picture = gauge->grabFramebuffer();
    int red = 0;
    needleAngle(picture, &red);
    EXPECT_EQ(red, 0);
    EXPECT_EQ(middlePixels(picture, isHubGrey), 0);
    EXPECT_TRUE(gauge->toolTip().isEmpty());
}

TEST_F(DoubleSidedGaugeRendererTest, TicksAreDrawnByKindColourAndVisibility) {
    auto gauge = makeGauge(new TickFixtureModel(), nullptr);
    const QImage picture = gauge->grabFramebuffer();
    // Where a face point lands on a 160-pixel gauge: the labels' shift (-0.07, -0.06), then
    // 86.5 pixels per face unit at the depth of the front face.
    const auto at = [](float x, float y) {
        return QPoint(static_cast<int>(80 + (x - 0.07f) * 86.5f),
                      static_cast<int>(80 - (y - 0.06f) * 86.5f));
    };
    const QPoint green = at(0.5f, 0.5f);
    EXPECT_GT(pixelsNear(picture, green.x(), green.y(), 3, isGreen), 0);
    EXPECT_LT(pixelsNear(picture, green.x(), green.y(), 6, isGreen), 16) << "a 2-pixel point";
    const QPoint black = at(0.5f, -0.5f);
    EXPECT_GT(pixelsNear(picture, black.x(), black.y(), 3, isDark), 0);
    // The label starts at its point and runs right and up.
    const QPoint label = at(-0.5f, -0.3f);
    EXPECT_GT(pixelsNear(picture, label.x() + 6, label.y() - 4, 7, isDark), 5);
    // The hidden blue label leaves no trace.
    EXPECT_EQ(pixelsNear(picture, 80, 80, 80, isPureBlue), 0);
}

TEST_F(DoubleSidedGaugeRendererTest, APressTogglesTheSideAndTheActiveModel) {
    auto* front = new TempEngViewModel();
    auto* back = new TempMetricViewModel();
    auto gauge = makeGauge(front, back);
    EXPECT_EQ(gauge->cursor().shape(), Qt::PointingHandCursor);

    QTest::mousePress(gauge.get(), Qt::RightButton);
    EXPECT_EQ(Access::side(*gauge), 1);
    EXPECT_TRUE(Access::flipping(*gauge));
    EXPECT_FALSE(front->isActive());
    EXPECT_TRUE(back->isActive());
    QTest::mouseRelease(gauge.get(), Qt::RightButton);

    // A half turn is 60 steps of 3 degrees.
    for (int i = 0; i < 59; ++i) {
        gauge->animationStep();
    }
    EXPECT_TRUE(Access::flipping(*gauge));
    gauge->animationStep();
    EXPECT_FALSE(Access::flipping(*gauge));
    EXPECT_FLOAT_EQ(Access::angle(*gauge), 180.0f);

    QTest::mouseClick(gauge.get(), Qt::LeftButton);
    EXPECT_EQ(Access::side(*gauge), 0);
    EXPECT_TRUE(front->isActive());
    EXPECT_FALSE(back->isActive());
}

TEST_F(DoubleSidedGaugeRendererTest, APressDuringAFlipReversesItsTarget) {
    struct Case {
        const char* name;
        int stepsBeforeSecondPress;
        bool startOnBack;
        float angleAtSecondPress;
        int stepsToEnd;
        float endAngle;
    };
    const Case cases[] = {
        // Turning to the back, sent to the front: on past 180 to 360, which snaps to 0.
        {"to back, then front", 30, false, 90.0f, 90, 0.0f},
        // Turning to the front past 180, sent to the back: snaps back to 180 at once.
        {"to front, then back", 10, true, 210.0f, 1, 180.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto gauge =
            std::make_unique<DoubleSidedGaugeRenderer>(nullptr, new TempEngViewModel(), nullptr);
        if (c.startOnBack) {
            flipFully(*gauge);
        }
        QTest::mouseClick(gauge.get(), Qt::LeftButton);
        for (int i = 0; i < c.stepsBeforeSecondPress; ++i) {
            gauge->animationStep();
        }
        EXPECT_FLOAT_EQ(Access::angle(*gauge), c.angleAtSecondPress);
        QTest::mouseClick(gauge.get(), Qt::LeftButton);
        for (int i = 0; i < c.stepsToEnd - 1; ++i) {
            gauge->animationStep();
        }
        EXPECT_TRUE(Access::flipping(*gauge));
        gauge->animationStep();
        EXPECT_FALSE(Access::flipping(*gauge));
        EXPECT_FLOAT_EQ(Access::angle(*gauge), c.endAngle);
        // Steps after the end change nothing.
        gauge->animationStep();
        EXPECT_FLOAT_EQ(Access::angle(*gauge), c.endAngle);
    }
}

TEST_F(DoubleSidedGaugeRendererTest, TheAnimationManagerDrivesAFlipAndThenLetsTheGaugeRest) {
    auto gauge = makeGauge<CountingGauge>(new TempEngViewModel(), new TempMetricViewModel());
    ASSERT_TRUE(apptest::waitFor([&] { return gauge->paints > 0; }));
    EXPECT_FALSE(Access::animating(*gauge));

    const int before = gauge->paints;
    QTest::mouseClick(gauge.get(), Qt::LeftButton);
    EXPECT_TRUE(Access::animating(*gauge));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Access::flipping(*gauge); }, 10000));
    EXPECT_FLOAT_EQ(Access::angle(*gauge), 180.0f);
    EXPECT_FALSE(Access::animating(*gauge));
    // Frames were drawn along the way (how many depends on the machine's load).
    EXPECT_GE(gauge->paints - before, 2);

    // A gauge destroyed in the middle of a flip leaves the clock: the frames that follow
    // must not reach it.
    QTest::mouseClick(gauge.get(), Qt::LeftButton);
    ASSERT_TRUE(Access::animating(*gauge));
    gauge.reset();
    QTest::qWait(100);
}

TEST_F(DoubleSidedGaugeRendererTest, AnIdleGaugeRepaintsOnlyWhenAValueItShowsChanges) {
    auto* front = new TempEngViewModel();
    auto gauge = makeGauge<CountingGauge>(front, new TempMetricViewModel());
    ASSERT_TRUE(apptest::waitFor([&] { return gauge->paints > 0; }));
    apptest::drainEvents();

    // Idle: a third of a second would be 20 frames at the animation rate.
    int before = gauge->paints;
    QTest::qWait(330);
    EXPECT_LE(gauge->paints - before, 2);

    before = gauge->paints;
    publish<float>(PROP_TEMP_F, 0.0f, 55.0f);
    ASSERT_TRUE(apptest::waitFor([&] { return gauge->paints > before; }));
    EXPECT_EQ(gauge->toolTip().toStdString(), front->getToolTip());
    EXPECT_NE(gauge->toolTip().indexOf("55.0"), -1);

    // Values this gauge does not show (pressure) or that leave its faces as they were (a
    // speed the temperature faces do not hear) cost no frame.
    before = gauge->paints;
    publish<float>(PROP_PRESSURE_IN, 0.0f, 30.01f);
    publish<float>(PROP_WIND_MPH, 0.0f, 12.0f);
    QTest::qWait(300);
    EXPECT_EQ(gauge->paints, before);
}

// A face whose needle a worker moves by hand, as late as it likes after the notification
// that caused it: the widget hears the model, not the notification.
class LateFaceModel : public TickFixtureModel {
public:
    void moveNeedle(const Vector3D& to) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            needle = to;
        }
        notifyChanged();
    }
    Vector3D getNeedleEndpoint() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return needle;
    }

private:
    mutable std::mutex mutex;
    Vector3D needle;
};

// The runner may be held up for any time between a notification and the model's new value
// (the widget used to look 50 ms after the notification and miss a later one): the frame
// comes once the model holds the value, and draws it.
TEST_F(DoubleSidedGaugeRendererTest, AModelThatTakesItsValueLateStillGetsItsFrame) {
    auto* front = new LateFaceModel();
    auto gauge = makeGauge<CountingGauge>(front, nullptr);
    ASSERT_TRUE(apptest::waitFor([&] { return gauge->paints > 0; }));
    apptest::drainEvents();
    const QImage atRest = Access::drawFrameWithAlpha(*gauge);
    const int before = gauge->paints;
    std::thread runner([front] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        front->moveNeedle(Vector3D(0.0f, 0.6f, 0.0f));
    });
    runner.join();
    ASSERT_TRUE(apptest::waitFor([&] { return gauge->paints > before; }));
    const QImage moved = Access::drawFrameWithAlpha(*gauge);
    // The needle now reaches up from the hub, where the face at rest had none.
    const auto redAboveHub = [](const QImage& image) {
        int count = 0;
        for (int y = 10; y < kSize / 2 - 20; ++y) {
            count += isNeedleRed(image.pixel(kSize / 2, y)) ? 1 : 0;
        }
        return count;
    };
    EXPECT_EQ(redAboveHub(atRest), 0);
    EXPECT_GT(redAboveHub(moved), 0);
}

TEST_F(DoubleSidedGaugeRendererTest, ALabelChangingBesideTheGaugesDrawsNoGaugeFrame) {
    QWidget window;
    window.resize(400, 200);
    auto* gauge = new CountingGauge(&window, new TempEngViewModel(), new TempMetricViewModel());
    gauge->setGeometry(0, 20, kSize, kSize);
    auto* label = new QLabel(QStringLiteral("New weather alert"), &window);
    label->setGeometry(200, 20, 160, 20);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(apptest::waitFor([&] { return gauge->paints > 0; }));
    // The window is no GL window: its other widgets repaint without the gauges.
    ASSERT_NE(window.windowHandle(), nullptr);
    EXPECT_EQ(window.windowHandle()->surfaceType(), QSurface::RasterSurface);
    EXPECT_EQ(gauge->windowHandle(), nullptr) << "the gauge is no native window";
    apptest::drainEvents();

    const int before = gauge->paints;
    for (int blink = 0; blink < 6; ++blink) {
        label->setText(blink % 2 == 0 ? QString() : QStringLiteral("New weather alert"));
        label->repaint();
        apptest::drainEvents();
    }
    EXPECT_EQ(gauge->paints, before);
    // Its picture is still there when it is asked for again.
    EXPECT_FALSE(gauge->grabFramebuffer().isNull());
}

TEST_F(DoubleSidedGaugeRendererTest, TheMainWindowCarriesTemperatureWindAndPressureGauges) {
    testsupport::LogCapture log;
    apptest::MessageBoxRecorder boxes;
    {
        const apptest::MainWindowIdsLease ids;
        Vesparo window(nullptr);
        const QList<DoubleSidedGaugeRenderer*> gauges =
            window.findChildren<DoubleSidedGaugeRenderer*>();
        ASSERT_EQ(gauges.size(), 3);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
#if defined(__SANITIZE_ADDRESS__)
        keepGlDriverLoaded();
#endif
        publish<float>(PROP_TEMP_F, 0.0f, 64.5f);

        const struct {
            int y;
            const char* toolTip;
        } places[] = {
            {54, "Air temperature\n64.5"}, {214, "Wind\n"}, {374, "Barometric pressure\n"}};
        for (const auto& place : places) {
            SCOPED_TRACE(place.toolTip);
            DoubleSidedGaugeRenderer* found = nullptr;
            for (DoubleSidedGaugeRenderer* gauge : gauges) {
                if (gauge->geometry() == QRect(0, place.y, 160, 160)) {
                    found = gauge;
                }
            }
            ASSERT_NE(found, nullptr);
            const QImage picture = found->grabFramebuffer();
            ASSERT_FALSE(picture.isNull());
            EXPECT_EQ(translucentPixels(Access::drawFrameWithAlpha(*found)), 0);
            EXPECT_TRUE(found->toolTip().startsWith(place.toolTip))
                << found->toolTip().toStdString();
            EXPECT_EQ(found->cursor().shape(), Qt::PointingHandCursor);
        }
    }
    // The window's end freed each model once, through its gauge; the models have left the
    // notification service, so a late value reaches nobody.
    publish<float>(PROP_TEMP_F, 64.5f, 65.0f);
    auto& service = NotificationService::Instance();
    if (service.getRegisteredPropertyIds().count(PROP_DEWPOINT_COMFORT_LEVEL) != 0) {
        service.unRegisterPropertyIds({PROP_DEWPOINT_COMFORT_LEVEL});
    }
}

TEST(DoubleSidedGaugeRendererProjection, HeightAndAspectFollowTheWidgetSize) {
    struct Case {
        int width;
        int height;
        int viewportHeight;
        float aspect;
    };
    const Case cases[] = {
        {160, 160, 160, 1.0f}, {300, 160, 160, 1.0f},  // the integer quotient, not 1.875
        {480, 160, 160, 3.0f}, {160, 0, 1, 160.0f},    // a height of 0 counts as 1
        {80, 160, 160, 0.5f},  // narrower than high: the true ratio, never 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " by " + std::to_string(c.height));
        const auto projection = DoubleSidedGaugeRenderer::projectionFor(c.width, c.height);
        EXPECT_EQ(projection.viewportWidth, c.width);
        EXPECT_EQ(projection.viewportHeight, c.viewportHeight);
        EXPECT_FLOAT_EQ(projection.aspect, c.aspect);
    }
}

TEST(DoubleSidedGaugeRendererModels, TheGaugeNeedsAFrontModelAndFreesBoth) {
    EXPECT_THROW(
        DoubleSidedGaugeRenderer(nullptr, nullptr, new WindViewModel(WindViewModel::UNITS_KMH)),
        std::invalid_argument);
}

}  // namespace
