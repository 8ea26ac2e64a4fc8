#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ExceptionText.h"
#include "SchedulerTestSupport.h"
#include "services/NotificationService.h"

using schedtest::runOrDie;
using schedtest::waitUntil;

using vpcore::IPropertyChangeListener;
using vpcore::NotificationService;

namespace {

template <class T>
class RecordingListener : public IPropertyChangeListener<T> {
public:
    void handlePropertyChange(short propId, const T* const oldValue,
                              const T* const newValue) override {
        calls.push_back({propId, *oldValue, *newValue});
    }
    struct Call {
        short id;
        T oldValue;
        T newValue;
    };
    std::vector<Call> calls;
};

class ThrowingListener : public vpcore::FloatPropertyChangeListener {
public:
    void handlePropertyChange(short, const float* const, const float* const) override {
        throw std::runtime_error("listener failed");
    }
};

// On its first call removes itself from id 0 and adds `next` in its place.
class HandOverListener : public vpcore::FloatPropertyChangeListener {
public:
    explicit HandOverListener(IPropertyChangeListener<float>* next) : next(next) {}
    void handlePropertyChange(short, const float* const, const float* const) override {
        ++calls;
        NotificationService::Instance().removePropertyChangeListener<float>(this, {0});
        NotificationService::Instance().addPropertyChangeListener<float>(next, {0});
    }
    int calls = 0;

private:
    IPropertyChangeListener<float>* next;
};

class NotificationServiceTest : public ::testing::Test {
protected:
    void TearDown() override { service().reset(); }
    static NotificationService& service() { return NotificationService::Instance(); }
};

}  // namespace

TEST_F(NotificationServiceTest, RegistrationFailuresKeepTheRegisteredSet) {
    struct Case {
        const char* name;
        std::set<short> before;
        std::set<short> attempt;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"empty set", {1}, {}, "No PropIds"},
        {"same id twice",
         {5},
         {5},
         "Cannot have duplicate PropIds 5. PropIds are unique and global to the application."},
        {"one id of the set taken",
         {40},
         {3, 40},
         "Cannot have duplicate PropIds 40. PropIds are unique and global to the application."},
        {"first duplicate in ascending order",
         {7, 9},
         {9, 8, 7},
         "Cannot have duplicate PropIds 7. PropIds are unique and global to the application."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service().reset();
        service().registerPropertyIds(c.before);
        EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(
                      [&] { service().registerPropertyIds(c.attempt); }),
                  c.message);
        EXPECT_EQ(service().getRegisteredPropertyIds(), c.before);
    }
}

TEST_F(NotificationServiceTest, NotifyOnUnregisteredIdThrows) {
    const std::string expected =
        "PropId 25 has not been registered. All publishing classes must call "
        "registerPropertyIds before firing notifications.";
    EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(
                  [] { NotificationService::Instance().notify(25); }),
              expected);
    const float a = 1.0f;
    const float b = 2.0f;
    EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(
                  [&] { NotificationService::Instance().notify<float>(25, &a, &b); }),
              expected);
}

TEST_F(NotificationServiceTest, EqualValuesNotifyNobodyAndDuplicateListenerIsCalledOnce) {
    service().registerPropertyIds({vpcore::PROP_TEMP_F});
    RecordingListener<float> first;
    RecordingListener<float> second;
    service().addPropertyChangeListener<float>(&first, {vpcore::PROP_TEMP_F});
    service().addPropertyChangeListener<float>(&first, {vpcore::PROP_TEMP_F});
    service().addPropertyChangeListener<float>(&second, {vpcore::PROP_TEMP_F});

    const float a = 70.5f;
    const float same = 70.5f;
    service().notify<float>(vpcore::PROP_TEMP_F, &a, &same);
    EXPECT_TRUE(first.calls.empty());
    EXPECT_TRUE(second.calls.empty());

    const float b = 71.0f;
    service().notify<float>(vpcore::PROP_TEMP_F, &a, &b);
    ASSERT_EQ(first.calls.size(), 1u);
    ASSERT_EQ(second.calls.size(), 1u);
    EXPECT_EQ(first.calls[0].id, vpcore::PROP_TEMP_F);
    EXPECT_EQ(first.calls[0].oldValue, 70.5f);
    EXPECT_EQ(first.calls[0].newValue, 71.0f);
}

TEST_F(NotificationServiceTest, ValueTypesCompareByContent) {
    using Pair = std::pair<int, std::string>;
    using Links = std::vector<std::pair<std::string, std::string>>;
    service().registerPropertyIds(
        {vpcore::PROP_WIND_DIR, vpcore::PROP_FORECAST_HI_LO, vpcore::PROP_PROVIDER_LINKS});
    RecordingListener<std::string> strings;
    RecordingListener<Pair> pairs;
    RecordingListener<Links> links;
    service().addPropertyChangeListener<std::string>(&strings, {vpcore::PROP_WIND_DIR});
    service().addPropertyChangeListener<Pair>(&pairs, {vpcore::PROP_FORECAST_HI_LO});
    service().addPropertyChangeListener<Links>(&links, {vpcore::PROP_PROVIDER_LINKS});

    const std::string n1 = "North";
    const std::string n2 = std::string("Nor") + "th";
    service().notify(vpcore::PROP_WIND_DIR, &n1, &n2);
    const Pair hi{80, "Hi"};
    const Pair hiCopy{80, "Hi"};
    const Pair lo{80, "Lo"};
    service().notify(vpcore::PROP_FORECAST_HI_LO, &hi, &hiCopy);
    service().notify(vpcore::PROP_FORECAST_HI_LO, &hi, &lo);
    const Links one{{"a", "http://a"}};
    const Links two{{"a", "http://a"}, {"b", "http://b"}};
    service().notify(vpcore::PROP_PROVIDER_LINKS, &one, &one);
    service().notify(vpcore::PROP_PROVIDER_LINKS, &one, &two);

    EXPECT_TRUE(strings.calls.empty());
    ASSERT_EQ(pairs.calls.size(), 1u);
    EXPECT_EQ(pairs.calls[0].newValue.second, "Lo");
    ASSERT_EQ(links.calls.size(), 1u);
    EXPECT_EQ(links.calls[0].newValue.size(), 2u);
}

TEST_F(NotificationServiceTest, EventReachesListenersAsZeroToOne) {
    service().registerPropertyIds({vpcore::PROP_ALERT_NEW});
    service().notify(vpcore::PROP_ALERT_NEW);  // no listener yet: nothing happens
    RecordingListener<int> listener;
    service().addPropertyChangeListener<int>(&listener, {vpcore::PROP_ALERT_NEW});
    service().notify(vpcore::PROP_ALERT_NEW);
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].oldValue, 0);
    EXPECT_EQ(listener.calls[0].newValue, 1);
}

TEST_F(NotificationServiceTest, UnregisteredIdKeepsItsListenersUntilRegisteredAgain) {
    service().registerPropertyIds({vpcore::PROP_ALERT_DETAILS});
    RecordingListener<int> listener;
    service().addPropertyChangeListener<int>(&listener, {vpcore::PROP_ALERT_DETAILS});
    service().unRegisterPropertyIds({vpcore::PROP_ALERT_DETAILS, 99});
    EXPECT_THROW(service().notify(vpcore::PROP_ALERT_DETAILS), std::invalid_argument);
    service().registerPropertyIds({vpcore::PROP_ALERT_DETAILS});
    service().notify(vpcore::PROP_ALERT_DETAILS);
    EXPECT_EQ(listener.calls.size(), 1u);
}

TEST_F(NotificationServiceTest, RemovedListenerIsNotCalledAndResetClearsEverything) {
    service().registerPropertyIds({0, 1});
    RecordingListener<float> listener;
    service().addPropertyChangeListener<float>(&listener, {0, 1});
    service().removePropertyChangeListener<float>(&listener, {0, 7});
    const float a = 1.0f;
    const float b = 2.0f;
    service().notify<float>(0, &a, &b);
    service().notify<float>(1, &a, &b);
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].id, 1);

    service().reset();
    EXPECT_TRUE(service().getRegisteredPropertyIds().empty());
    EXPECT_THROW(service().notify<float>(1, &a, &b), std::invalid_argument);
    service().registerPropertyIds({1});
    service().notify<float>(1, &a, &b);
    EXPECT_EQ(listener.calls.size(), 1u);  // the listener went with the reset
}

TEST_F(NotificationServiceTest, ThrowingListenerEndsTheNotification) {
    service().registerPropertyIds({0});
    ThrowingListener thrower;
    RecordingListener<float> recorder;
    service().addPropertyChangeListener<float>(&thrower, {0});
    service().addPropertyChangeListener<float>(&recorder, {0});
    const float a = 1.0f;
    const float b = 2.0f;
    EXPECT_THROW(service().notify<float>(0, &a, &b), std::runtime_error);
    // The listeners run in handle order, so the recorder was reached only if it sorts first.
    const bool recorderFirst = static_cast<void*>(&recorder) < static_cast<void*>(&thrower);
    EXPECT_EQ(recorder.calls.size(), recorderFirst ? 1u : 0u);
}

TEST_F(NotificationServiceTest, ListenerMayChangeTheListenersWhileBeingCalled) {
    service().registerPropertyIds({0});
    RecordingListener<float> next;
    HandOverListener first(&next);
    service().addPropertyChangeListener<float>(&first, {0});
    const float a = 1.0f;
    const float b = 2.0f;

    service().notify<float>(0, &a, &b);
    EXPECT_EQ(first.calls, 1);
    EXPECT_TRUE(next.calls.empty());  // added during the call: heard from the next one on

    service().notify<float>(0, &b, &a);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(next.calls.size(), 1u);
}

TEST_F(NotificationServiceTest, NotificationsRunWhileAnotherThreadChangesListenersAndIds) {
    service().registerPropertyIds({0});
    RecordingListener<float> heard;
    service().addPropertyChangeListener<float>(&heard, {0});
    const int rounds = 2000;

    std::thread publisher([&] {
        for (int i = 0; i < rounds; ++i) {
            const float oldValue = static_cast<float>(i);
            const float newValue = oldValue + 1.0f;
            service().notify<float>(0, &oldValue, &newValue);
        }
    });
    RecordingListener<float> passing;
    for (int i = 0; i < rounds; ++i) {
        service().addPropertyChangeListener<float>(&passing, {1, 2, 3});
        service().registerPropertyIds({static_cast<short>(100 + i % 10)});
        service().removePropertyChangeListener<float>(&passing, {1, 2, 3});
        service().unRegisterPropertyIds({static_cast<short>(100 + i % 10)});
    }
    publisher.join();

    EXPECT_EQ(heard.calls.size(), static_cast<std::size_t>(rounds));
    EXPECT_TRUE(passing.calls.empty());
}

namespace {

// Stays in its call for a while after entering it; blocks until released when asked to.
class SlowListener : public vpcore::FloatPropertyChangeListener {
public:
    void handlePropertyChange(short, const float* const, const float* const) override {
        entered = true;
        if (holdUntilReleased) {
            waitUntil([this] { return released.load(); }, 10000);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        finished = true;
    }
    bool holdUntilReleased = false;
    std::atomic<bool> entered{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> released{false};
};

}  // namespace

TEST_F(NotificationServiceTest, RemovalReturnsOnlyAfterACallOnAnotherThreadHasEnded) {
    service().registerPropertyIds({0});
    SlowListener listener;
    service().addPropertyChangeListener<float>(&listener, {0});
    std::thread publisher([&] {
        const float a = 1.0f;
        const float b = 2.0f;
        service().notify<float>(0, &a, &b);
    });
    ASSERT_TRUE(waitUntil([&] { return listener.entered.load(); }));

    // The owner would delete the listener right after this.
    service().removePropertyChangeListener<float>(&listener, {0});
    EXPECT_TRUE(listener.finished);
    publisher.join();
}

TEST_F(NotificationServiceTest, ListenersDeletedRightAfterRemovalAreNeverCalledAgain) {
    // A widget unregisters and is destroyed on one thread while the runner notifies.
    class Widget : public vpcore::FloatPropertyChangeListener {
    public:
        explicit Widget(std::atomic<int>& lateCalls) : lateCalls(lateCalls) {}
        void handlePropertyChange(short, const float* const, const float* const) override {
            if (removed) {
                ++lateCalls;
            }
            ++calls;
        }
        std::atomic<bool> removed{false};
        std::atomic<int> calls{0};

    private:
        std::atomic<int>& lateCalls;
    };

    service().registerPropertyIds({0});
    std::atomic<int> lateCalls{0};
    std::atomic<bool> stop{false};
    std::thread publisher([&] {
        float value = 0.0f;
        while (!stop) {
            const float next = value + 1.0f;
            service().notify<float>(0, &value, &next);
            value = next;
        }
    });
    int heard = 0;
    for (int round = 0; round < 300; ++round) {
        auto widget = std::make_unique<Widget>(lateCalls);
        service().addPropertyChangeListener<float>(widget.get(), {0});
        if (round % 10 == 0) {
            // Now and then wait for a call, so that removals also meet calls under way.
            waitUntil([&] { return widget->calls > 0; }, 2000);
        }
        service().removePropertyChangeListener<float>(widget.get(), {0});
        widget->removed = true;
        heard += widget->calls;
    }
    stop = true;
    publisher.join();

    EXPECT_EQ(lateCalls, 0);
    EXPECT_GT(heard, 0);
}

TEST_F(NotificationServiceTest, SlowListenerHoldsBackNeitherOtherIdsNorOtherRemovals) {
    service().registerPropertyIds({0, 1});
    SlowListener slow;
    slow.holdUntilReleased = true;
    RecordingListener<float> other;
    service().addPropertyChangeListener<float>(&slow, {0});
    service().addPropertyChangeListener<float>(&other, {1});
    std::thread publisher([&] {
        const float a = 1.0f;
        const float b = 2.0f;
        service().notify<float>(0, &a, &b);
    });
    ASSERT_TRUE(waitUntil([&] { return slow.entered.load(); }));

    runOrDie(
        [&] {
            const float a = 3.0f;
            const float b = 4.0f;
            service().notify<float>(1, &a, &b);
            service().removePropertyChangeListener<float>(&other, {1});
        },
        5000, "notify and remove beside a slow listener");
    EXPECT_EQ(other.calls.size(), 1u);
    EXPECT_FALSE(slow.finished);

    slow.released = true;
    publisher.join();
    EXPECT_TRUE(slow.finished);
}

TEST_F(NotificationServiceTest, ListenerRemovingItselfOnTwoThreadsAtOnceDoesNotDeadlock) {
    class Quitter : public vpcore::FloatPropertyChangeListener {
    public:
        void handlePropertyChange(short, const float* const, const float* const) override {
            ++inside;
            // Both calls are under way before either removes the listener.
            waitUntil([this] { return inside == 2; }, 2000);
            NotificationService::Instance().removePropertyChangeListener<float>(this, {0});
            ++removed;
        }
        std::atomic<int> inside{0};
        std::atomic<int> removed{0};
    };

    service().registerPropertyIds({0});
    Quitter quitter;
    service().addPropertyChangeListener<float>(&quitter, {0});
    runOrDie(
        [&] {
            auto publish = [] {
                const float a = 1.0f;
                const float b = 2.0f;
                NotificationService::Instance().notify<float>(0, &a, &b);
            };
            std::thread first(publish);
            std::thread second(publish);
            first.join();
            second.join();
        },
        10000, "two self-removals");
    EXPECT_EQ(quitter.removed, quitter.inside.load());
}
