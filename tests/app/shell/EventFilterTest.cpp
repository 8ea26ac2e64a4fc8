#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QSignalSpy>
#include <QWidget>
#include <thread>

#include "AppTestSupport.h"
#include "base/Settings.h"
#include "base/SoundPlayer.h"
#include "shell/VesparoEventFilter.h"

namespace {

// Counts the presses that reach it.
class Target : public QWidget {
public:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    int presses = 0;
};

class EventFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::clearSettingsButVersion();
        qApp->installEventFilter(&filter);
    }
    void TearDown() override {
        qApp->removeEventFilter(&filter);
        apptest::clearSettingsButVersion();
    }
    VesparoEventFilter filter;
};

void send(QWidget* target, QEvent::Type type) {
    if (type == QEvent::KeyPress) {
        QKeyEvent key(type, Qt::Key_A, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &key);
        return;
    }
    QMouseEvent mouse(type, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &mouse);
}

TEST_F(EventFilterTest, APressOnACueObjectPlaysItsSound) {
    struct Case {
        const char* cue;  // null: no property
        QEvent::Type type;
        bool playSounds;
        const char* played;  // null: nothing
    };
    const Case cases[] = {
        {"whirl", QEvent::MouseButtonPress, true, "resources/gauge_turn.wav"},
        {"drop", QEvent::MouseButtonPress, true, "resources/label_click.wav"},
        {"drop", QEvent::MouseButtonPress, false, nullptr},
        {"boom", QEvent::MouseButtonPress, true, nullptr},
        {nullptr, QEvent::MouseButtonPress, true, nullptr},
        {"whirl", QEvent::MouseButtonRelease, true, nullptr},
        {"whirl", QEvent::MouseButtonDblClick, true, nullptr},
        {"drop", QEvent::KeyPress, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.cue ? c.cue : "-") << " " << c.type << " " << c.playSounds);
        setSetting("PLAY_SOUNDS", c.playSounds);
        Target target;
        if (c.cue != nullptr) {
            target.setProperty("playsound", c.cue);
        }
        QSignalSpy spy(&SoundPlayer::instance(), &SoundPlayer::soundRequested);
        send(&target, c.type);
        if (c.played == nullptr) {
            EXPECT_EQ(spy.count(), 0);
        } else {
            ASSERT_EQ(spy.count(), 1);
            EXPECT_EQ(spy.at(0).at(0).toString(), c.played);
        }
        // The filter never takes the press away from its object (a double click is a press
        // too for a widget).
        const bool press =
            c.type == QEvent::MouseButtonPress || c.type == QEvent::MouseButtonDblClick;
        EXPECT_EQ(target.presses, press ? 1 : 0);
    }
}

TEST_F(EventFilterTest, AFreshProfilePlaysSoundsAndStoresTheDefault) {
    Target target;
    target.setProperty("playsound", "whirl");
    QSignalSpy spy(&SoundPlayer::instance(), &SoundPlayer::soundRequested);
    send(&target, QEvent::MouseButtonPress);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(QSettings().value("PLAY_SOUNDS").toBool());
}

TEST(SoundPlayerTest, PlayFromAWorkerIsHandedToTheGuiThreadAndNeverWaits) {
    // In a process of its own this worker is the first to ask for the player.
    std::thread worker([] {
        for (int i = 0; i < 20; ++i) {
            SoundPlayer::instance().play("resources/6_beeps.wav");
        }
    });
    worker.join();
    SoundPlayer& player = SoundPlayer::instance();
    EXPECT_EQ(player.thread(), qApp->thread());
    // The plays are queued for the GUI thread, which has not run yet.
    QThread* requestedOn = nullptr;
    int requests = 0;
    const auto connection =
        QObject::connect(&player, &SoundPlayer::soundRequested, [&](const QString& file) {
            requestedOn = QThread::currentThread();
            requests += file == "resources/6_beeps.wav" ? 1 : 0;
        });
    // With or without an audio device (none under the virtual display) nothing blocks: a play
    // that waited for the GUI thread would never let the worker be joined above.
    EXPECT_TRUE(apptest::waitFor([&] { return requests == 20; }, 60000));
    EXPECT_EQ(requestedOn, qApp->thread());
    QObject::disconnect(connection);
}

}  // namespace
