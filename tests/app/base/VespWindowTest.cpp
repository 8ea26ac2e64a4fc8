#include <gtest/gtest.h>

#include <QBitmap>
#include <QMouseEvent>
#include <QRegion>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>

#include "AppTestSupport.h"
#include "base/VespWindow.h"
#include "shell/Startup.h"
#include "widgets/VPDataEvent.h"
#include "widgets/VPStatusBar.h"

namespace {

// A derived window as the program's windows are built: flags, then setUpWindow().
class TestWindow : public VespWindow {
public:
    TestWindow(bool closeShown, bool configureShown) : VespWindow(nullptr) {
        setCloseButtonShown(closeShown);
        setConfigureButtonShown(configureShown);
        setUpWindow();
    }
    void init() override {
        ++inits;
        VespWindow::init();
    }
    void configure() override { ++configures; }
    void customEvent(QEvent* e) override { customTypes.push_back(e->type()); }
    void changeEvent(QEvent* e) override {
        if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
            minimised = true;
        }
        VespWindow::changeEvent(e);
    }

    QToolButton* button(const char* name) { return findChild<QToolButton*>(name); }

    int inits = 0;
    int configures = 0;
    std::vector<int> customTypes;
    bool minimised = false;
};

void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, const QPoint& global) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// Under the program's style sheet every button's tip is dark text on a light box, seen on the
// screen as the user sees it.
TEST(VespWindowTest, ButtonToolTipsAreReadable) {
    qApp->setStyleSheet(applicationStyleSheet());
    for (const bool closeShown : {false, true}) {
        TestWindow window(closeShown, true);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        for (const char* name : {closeShown ? "btnClose2" : "btnClose", "btnConfigure"}) {
            SCOPED_TRACE(name);
            QToolButton* button = window.button(name);
            const apptest::ShownToolTip tip = apptest::showToolTip(button);
            EXPECT_EQ(tip.text, button->toolTip());
            EXPECT_GE(tip.textPixels, 20) << "a box with no text";
            EXPECT_GE(tip.bestContrast, 7.0);
        }
    }
    qApp->setStyleSheet(QString());
}

TEST(VespWindowTest, ButtonsFollowTheFlagsAndTheWidth) {
    struct Case {
        bool closeShown;
        bool configureShown;
        bool minimiseVisible;
        bool closeVisible;
        bool configureVisible;
    };
    const Case cases[] = {{true, false, false, true, false},  // options dialog, comfort gauge
                          {false, true, true, false, true}};  // main window
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.closeShown << c.configureShown);
        TestWindow window(c.closeShown, c.configureShown);
        EXPECT_EQ(window.inits, 1);
        window.resize(800, 650);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_EQ(window.button("btnClose")->isVisible(), c.minimiseVisible);
        EXPECT_EQ(window.button("btnClose2")->isVisible(), c.closeVisible);
        EXPECT_EQ(window.button("btnConfigure")->isVisible(), c.configureVisible);
        EXPECT_EQ(window.button("btnConfigure")->pos(), QPoint(692, 3));
        EXPECT_EQ(window.button("btnClose")->pos(), QPoint(720, 3));
        EXPECT_EQ(window.button("btnClose2")->pos(), QPoint(720, 3));
        EXPECT_EQ(window.button("btnClose")->toolTip(), "Minimize");
        EXPECT_EQ(window.button("btnConfigure")->toolTip(), "Customize settings");
        EXPECT_EQ(window.button("btnClose2")->toolTip(), "Close window");
    }
}

TEST(VespWindowTest, ButtonsHideCloseAndConfigure) {
    TestWindow window(false, true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.button("btnConfigure"), Qt::LeftButton);
    EXPECT_EQ(window.configures, 1);
    QTest::mouseClick(window.button("btnClose"), Qt::LeftButton);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(window.isVisible());
    } else {
        // Without a tray a hidden window could not be brought back: it is minimised.
        EXPECT_TRUE(window.minimised);
    }

    TestWindow dialog(true, false);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.button("btnClose2"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(VespWindowTest, LeftDragMovesTheWindowByTheCursorsMovement) {
    TestWindow window(false, true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    const QPoint grip = window.mapToGlobal(QPoint(300, 200));

    sendMouse(&window, QEvent::MouseButtonPress, Qt::RightButton, grip);
    sendMouse(&window, QEvent::MouseMove, Qt::RightButton, grip + QPoint(50, 50));
    sendMouse(&window, QEvent::MouseButtonRelease, Qt::RightButton, grip + QPoint(50, 50));
    EXPECT_EQ(window.pos(), start);

    sendMouse(&window, QEvent::MouseButtonPress, Qt::LeftButton, grip);
    sendMouse(&window, QEvent::MouseMove, Qt::LeftButton, grip + QPoint(10, 5));
    sendMouse(&window, QEvent::MouseMove, Qt::LeftButton, grip + QPoint(30, -20));
    sendMouse(&window, QEvent::MouseButtonRelease, Qt::LeftButton, grip + QPoint(30, -20));
    EXPECT_EQ(window.pos(), start + QPoint(30, -20));

    // After the release a move drags nothing.
    sendMouse(&window, QEvent::MouseMove, Qt::NoButton, grip + QPoint(90, 90));
    EXPECT_EQ(window.pos(), start + QPoint(30, -20));
}

TEST(VespWindowTest, StatusBarAndContentAreaAreMadeOnce) {
    TestWindow window(false, true);
    window.resize(800, 650);
    // init() made the bar at the constructor's size, 600 by 480.
    VPStatusBar* bar = window.statusBar();
    EXPECT_EQ(bar, window.statusBar());
    EXPECT_EQ(bar->geometry(), QRect(40, 460, 520, 22));

    QWidget* content = window.contentWidget();
    EXPECT_EQ(content, window.contentWidget());
    EXPECT_EQ(content->geometry(), QRect(10, 30, 790, 590));
}

// A window of the base that is resized once shown: the bar follows the bottom edge.
TEST(VespWindowTest, TheStatusBarFollowsAResize) {
    TestWindow window(false, true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.resize(700, 520);
    apptest::drainEvents();
    EXPECT_EQ(window.statusBar()->geometry(), QRect(40, 500, 620, 22));
}

TEST(VespWindowTest, StatusBarOfAnEightHundredBySixHundredFiftyWindow) {
    struct Sized : VespWindow {
        Sized() : VespWindow(nullptr) { setUpWindow(); }
        void init() override {
            resize(800, 650);
            VespWindow::init();
        }
    } window;
    EXPECT_EQ(window.statusBar()->geometry(), QRect(40, 630, 720, 22));
    EXPECT_FALSE(window.statusBar()->isSizeGripEnabled());
}

TEST(VespWindowTest, FramelessRoundedAndPainted) {
    TestWindow window(false, true);
    window.resize(800, 650);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    const QRegion mask = window.mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(799, 649)));
    EXPECT_TRUE(mask.contains(QPoint(400, 325)));
    EXPECT_TRUE(mask.contains(QPoint(400, 1)));

    const QImage image = window.grab().toImage();
    const QColor top = image.pixelColor(400, 0);
    EXPECT_NEAR(top.red(), 25, 2);
    EXPECT_NEAR(top.blue(), 112, 2);
    EXPECT_EQ(image.pixelColor(400, 650 - 25), QColor(Qt::gray));
    EXPECT_NE(image.pixelColor(400, 650 - 24), QColor(Qt::gray));
    EXPECT_NE(image.pixelColor(10, 650 - 25), QColor(Qt::gray));
    // The gradient ends in white at the bottom.
    EXPECT_GT(image.pixelColor(400, 649).red(), 240);
}

TEST(VespWindowTest, PostedTextOpensOneCriticalBoxOtherEventsPassOn) {
    TestWindow window(false, true);
    apptest::MessageBoxRecorder boxes;
    QCoreApplication::postEvent(&window, new VPDataEventQString("Something broke."));
    ASSERT_TRUE(apptest::waitFor([&] { return !boxes.boxes.empty(); }));
    apptest::drainEvents();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes[0].title, "");
    EXPECT_EQ(boxes.boxes[0].text, "Something broke.");

    VPPropertyChange other(22);
    QCoreApplication::sendEvent(&window, &other);
    EXPECT_EQ(window.customTypes, std::vector<int>{VPPropertyChange::eventType()});
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

}  // namespace
