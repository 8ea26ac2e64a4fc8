#include <gtest/gtest.h>

#include <string>

#include "services/FastDelegate.h"

using fastdelegate::FastDelegate0;
using fastdelegate::FastDelegate1;
using fastdelegate::FastDelegate2;

namespace {

struct Counter {
    int count = 0;
    std::string last;
    void increment() { ++count; }
    void remember(const std::string& text) { last = text; }
    int add(int a, int b) const { return count + a + b; }
};

struct Base {
    virtual ~Base() = default;
    virtual int value() { return 1; }
};
struct Other {
    virtual ~Other() = default;
    int other = 7;
};
struct Derived : Other, Base {
    int value() override { return 2 + other; }
};

short lastShort = 0;
float lastFloat = 0.0f;
void storePair(short s, float f) {
    lastShort = s;
    lastFloat = f;
}
bool isPositive(const int& v) {
    return v > 0;
}

}  // namespace

TEST(FastDelegateTest, EmptinessFollowsBinding) {
    FastDelegate0<> empty;
    EXPECT_FALSE(empty);
    EXPECT_TRUE(!empty);

    Counter counter;
    FastDelegate0<> bound(&counter, &Counter::increment);
    EXPECT_TRUE(bound);

    void (*nullFunction)(short, float) = nullptr;
    FastDelegate2<short, float> fromNull(nullFunction);
    EXPECT_FALSE(fromNull);

    bound = FastDelegate0<>();
    EXPECT_FALSE(bound);
}

TEST(FastDelegateTest, CopiesCallTheSameTarget) {
    Counter counter;
    FastDelegate0<> original(&counter, &Counter::increment);
    FastDelegate0<> copy(original);
    FastDelegate0<> assigned;
    assigned = original;
    original();
    copy();
    assigned();
    EXPECT_EQ(counter.count, 3);
    EXPECT_TRUE(copy == original);
    EXPECT_FALSE(FastDelegate0<>() == original);
}

TEST(FastDelegateTest, ArgumentsAndResultsPassUnchanged) {
    Counter counter;
    counter.count = 10;
    FastDelegate2<int, int, int> add(&counter, &Counter::add);
    EXPECT_EQ(add(1, 2), 13);

    FastDelegate1<const std::string&> remember(&counter, &Counter::remember);
    remember("hello");
    EXPECT_EQ(counter.last, "hello");

    FastDelegate2<short, float> pair(&storePair);
    pair(static_cast<short>(-3), 2.5f);
    EXPECT_EQ(lastShort, -3);
    EXPECT_EQ(lastFloat, 2.5f);

    FastDelegate1<const int&, bool> predicate(&isPositive);
    EXPECT_TRUE(predicate(4));
    EXPECT_FALSE(predicate(-4));
}

TEST(FastDelegateTest, VirtualMembersOfASecondBaseDispatch) {
    Derived derived;
    Base* base = &derived;
    FastDelegate0<int> viaBase(base, &Base::value);
    FastDelegate0<int> viaDerived(&derived, &Derived::value);
    EXPECT_EQ(viaBase(), 9);
    EXPECT_EQ(viaDerived(), 9);
}
