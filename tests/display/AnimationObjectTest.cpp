#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "display/AnimationObject.h"

using vpcore::AnimationObject;

namespace {

class Counter {
public:
    void step() { ++steps; }
    void display() { ++displays; }
    int steps = 0;
    int displays = 0;
};

AnimationObject makeObject(float stepInterval, Counter& counter) {
    return AnimationObject(stepInterval, fastdelegate::FastDelegate0<>(&counter, &Counter::step),
                           fastdelegate::FastDelegate0<>(&counter, &Counter::display));
}

TEST(AnimationObjectTest, ElapsedTimeBecomesWholeStepsAndTheRemainderIsDropped) {
    struct Case {
        float stepInterval;
        float elapsedMs;
        int steps;
    };
    const Case cases[] = {
        {15.0f, 16.0f, 1},  // the gauge flip on a normal frame
        {15.0f, 14.0f, 0},
        {15.0f, 15.0f, 1},
        {15.0f, 45.0f, 3},
        {15.0f, 44.9f, 2},
        {20.0f, 16.0f, 0},  // the alert text reveal
        {20.0f, 33.0f, 1},
        {20.0f, 1000.0f, 50},
        {15.0f, 0.0f, 0},
        {15.0f, -30.0f, 0},
        {15.0f, std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.stepInterval << " ms steps, " << c.elapsedMs << " ms elapsed");
        Counter counter;
        AnimationObject object = makeObject(c.stepInterval, counter);
        object.update(c.elapsedMs);
        EXPECT_EQ(counter.steps, c.steps);
        EXPECT_EQ(counter.displays, 0);
        object.updateDisplay();
        EXPECT_EQ(counter.displays, 1);
        EXPECT_EQ(counter.steps, c.steps);
    }
}

TEST(AnimationObjectTest, EmptyDelegatesAreSkippedAndACopyCallsTheSameOwner) {
    AnimationObject unbound(15.0f, fastdelegate::FastDelegate0<>(),
                            fastdelegate::FastDelegate0<>());
    unbound.update(100.0f);
    unbound.updateDisplay();

    Counter counter;
    AnimationObject original = makeObject(10.0f, counter);
    AnimationObject copy(original);
    copy.update(25.0f);
    copy.updateDisplay();
    EXPECT_EQ(counter.steps, 2);
    EXPECT_EQ(counter.displays, 1);

    Counter other;
    AnimationObject assigned = makeObject(50.0f, other);
    assigned = original;
    assigned.update(30.0f);
    EXPECT_EQ(counter.steps, 5);
    EXPECT_EQ(other.steps, 0);
    EXPECT_EQ(assigned.getStepInterval(), 10.0f);
}

TEST(AnimationObjectTest, AStepIntervalThatIsNoPositiveNumberIsRefused) {
    const float bad[] = {0.0f, -15.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()};
    for (float interval : bad) {
        SCOPED_TRACE(interval);
        Counter counter;
        EXPECT_THROW(makeObject(interval, counter), std::invalid_argument);
    }
}

}  // namespace
