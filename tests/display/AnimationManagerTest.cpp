#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AnimationManagerTestAccess.h"
#include "LogCapture.h"
#include "display/AnimationManager.h"
#include "display/AnimationObject.h"

using testsupport::LogCapture;
using vpcore::AnimationManager;
using vpcore::AnimationManagerTestAccess;
using vpcore::AnimationObject;

namespace {

// An owner of one animation that records what the manager did to it, in one shared journal,
// and can run a chosen action inside its step.
class Owner {
public:
    Owner(std::string name, std::vector<std::string>& journal, float stepInterval = 15.0f)
        : name(std::move(name)),
          journal(journal),
          animation(stepInterval, fastdelegate::FastDelegate0<>(this, &Owner::step),
                    fastdelegate::FastDelegate0<>(this, &Owner::display)) {}

    void step() {
        journal.push_back(name + " step");
        if (onStep) {
            auto action = onStep;
            onStep = nullptr;
            action();
        }
    }
    void display() { journal.push_back(name + " display"); }

    std::string name;
    std::vector<std::string>& journal;
    AnimationObject animation;
    std::function<void()> onStep;
};

using Journal = std::vector<std::string>;

TEST(AnimationManagerTest, ConstructionLogsTheFrameRate) {
    LogCapture log;
    auto manager = AnimationManagerTestAccess::create();
    EXPECT_EQ(log.count("INFO: Animation set to 60 frames per second. Interval in ms is 16."), 1);
    EXPECT_FALSE(manager->isPaused());
}

TEST(AnimationManagerTest, AFrameStepsEveryEntryInOrderThenRepaintsEveryEntry) {
    auto manager = AnimationManagerTestAccess::create();
    Journal journal;
    Owner a("a", journal), b("b", journal, 20.0f);
    manager->registerAnimationObject(&a.animation);
    manager->registerAnimationObject(&b.animation);
    manager->registerAnimationObject(&a.animation);  // twice: advanced twice per frame

    AnimationManagerTestAccess::frame(*manager, 16);
    EXPECT_EQ(journal, (Journal{"a step", "a step", "a display", "b display", "a display"}));

    journal.clear();
    AnimationManagerTestAccess::frame(*manager, 33);
    EXPECT_EQ(journal, (Journal{"a step", "a step", "b step", "a step", "a step", "a display",
                                "b display", "a display"}));

    // One call removes both entries; an object that is not registered changes nothing.
    Owner stranger("x", journal);
    manager->unregisterAnimationObject(&stranger.animation);
    manager->unregisterAnimationObject(&a.animation);
    EXPECT_EQ(AnimationManagerTestAccess::registeredCount(*manager), 1u);
    journal.clear();
    AnimationManagerTestAccess::frame(*manager, 40);
    EXPECT_EQ(journal, (Journal{"b step", "b step", "b display"}));
    manager->unregisterAnimationObject(&b.animation);
}

TEST(AnimationManagerTest, ADelegateThatChangesTheListDuringAFrameSkipsNoOtherEntry) {
    struct Case {
        const char* what;
        std::function<void(AnimationManager&, Owner&, Owner&, Owner&)> onStepOfB;
        Journal expected;
    };
    const std::vector<Case> cases = {
        {"b finishes and removes itself",
         [](AnimationManager& m, Owner&, Owner& b, Owner&) {
             m.unregisterAnimationObject(&b.animation);
         },
         {"a step", "b step", "c step", "a display", "c display"}},
        {"b removes an earlier entry",
         [](AnimationManager& m, Owner& a, Owner&, Owner&) {
             m.unregisterAnimationObject(&a.animation);
         },
         {"a step", "b step", "c step", "b display", "c display"}},
        {"b removes a later entry",
         [](AnimationManager& m, Owner&, Owner&, Owner& c) {
             m.unregisterAnimationObject(&c.animation);
         },
         {"a step", "b step", "a display", "b display"}},
        {"b registers another entry",
         [](AnimationManager& m, Owner& a, Owner&, Owner&) {
             m.registerAnimationObject(&a.animation);
         },
         {"a step", "b step", "c step", "a step", "a display", "b display", "c display",
          "a display"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto manager = AnimationManagerTestAccess::create();
        Journal journal;
        Owner a("a", journal), b("b", journal), cOwner("c", journal);
        for (Owner* owner : {&a, &b, &cOwner}) {
            manager->registerAnimationObject(&owner->animation);
        }
        b.onStep = [&] { c.onStepOfB(*manager, a, b, cOwner); };
        AnimationManagerTestAccess::frame(*manager, 16);
        EXPECT_EQ(journal, c.expected);
    }
}

TEST(AnimationManagerTest, AFrameThatArrivesWhileOneRunsIsLeftForLater) {
    // A delegate that opens a dialog runs a local event loop, which can deliver the next timer
    // event while this frame is still walking the list.
    auto manager = AnimationManagerTestAccess::create();
    Journal journal;
    Owner a("a", journal, 1.0f), b("b", journal);
    manager->registerAnimationObject(&a.animation);
    manager->registerAnimationObject(&b.animation);
    a.onStep = [&] { AnimationManagerTestAccess::timerFrame(*manager); };

    AnimationManagerTestAccess::frame(*manager, 1);
    EXPECT_EQ(journal, (Journal{"a step", "a display", "b display"}));
}

TEST(AnimationManagerTest, WhilePausedNothingRunsAndResumingDoesNotCatchUp) {
    auto manager = AnimationManagerTestAccess::create();
    Journal journal;
    Owner slow("s", journal, 300.0f);
    manager->registerAnimationObject(&slow.animation);

    manager->pause(true);
    EXPECT_TRUE(manager->isPaused());
    AnimationManagerTestAccess::timerFrame(*manager);
    QThread::msleep(700);  // more than two steps of time pass while paused
    AnimationManagerTestAccess::timerFrame(*manager);
    EXPECT_TRUE(journal.empty());

    manager->pause(false);
    EXPECT_FALSE(manager->isPaused());
    // Only the moment since the last (dropped) frame counts: far less than one 300 ms step.
    AnimationManagerTestAccess::timerFrame(*manager);
    EXPECT_EQ(journal, (Journal{"s display"}));
}

TEST(AnimationManagerTest, TheTimerOfTheSharedInstanceDrivesRegisteredObjects) {
    AnimationManager& manager = AnimationManager::Instance();
    EXPECT_EQ(&manager, &AnimationManager::Instance());
    Journal journal;
    Owner owner("o", journal, 1.0f);
    manager.registerAnimationObject(&owner.animation);

    int displays = 0;
    QElapsedTimer deadline;
    deadline.start();
    while (displays < 5 && deadline.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        displays = static_cast<int>(std::count(journal.begin(), journal.end(), "o display"));
    }
    manager.unregisterAnimationObject(&owner.animation);

    ASSERT_GE(displays, 5);
    EXPECT_GT(std::count(journal.begin(), journal.end(), "o step"), 0);
    EXPECT_EQ(journal.back(), "o display");
}

TEST(AnimationManagerTest, TheClockRunsOnlyWhileSomethingIsRegistered) {
    auto manager = AnimationManagerTestAccess::create();
    EXPECT_FALSE(AnimationManagerTestAccess::clockRunning(*manager));
    Journal journal;
    Owner owner("o", journal, 1.0f);

    manager->registerAnimationObject(&owner.animation);
    EXPECT_TRUE(AnimationManagerTestAccess::clockRunning(*manager));
    manager->unregisterAnimationObject(&owner.animation);
    // The frame that finds the list empty stops the clock; nothing is called then.
    AnimationManagerTestAccess::timerFrame(*manager);
    EXPECT_FALSE(AnimationManagerTestAccess::clockRunning(*manager));
    EXPECT_TRUE(journal.empty());

    // Registering again starts it, and the first frame measures from the registration: its
    // steps (one per ms) are no more than the time from just before the registration to just
    // after the frame, never the pause before it, however slow the machine.
    QThread::msleep(200);
    QElapsedTimer sinceRegistration;
    sinceRegistration.start();
    manager->registerAnimationObject(&owner.animation);
    EXPECT_TRUE(AnimationManagerTestAccess::clockRunning(*manager));
    AnimationManagerTestAccess::timerFrame(*manager);
    const qint64 elapsed = sinceRegistration.elapsed();
    EXPECT_LE(std::count(journal.begin(), journal.end(), "o step"), elapsed + 1);
    manager->unregisterAnimationObject(&owner.animation);
}

}  // namespace
