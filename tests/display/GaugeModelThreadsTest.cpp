// The gauge models between the notifying thread, which feeds them, and the GUI thread (the
// gauge widget, the tray), which reads them: real threads, no OpenGL, so that the
// ThreadSanitizer runs see every shared field.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "GaugeTestSupport.h"
#include "display/BarometerEngViewModel.h"
#include "display/BarometerMetricViewModel.h"
#include "display/TempEngViewModel.h"
#include "display/TempMetricViewModel.h"
#include "display/WindViewModel.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using gaugetest::pointOf;
using namespace vpcore;

namespace {

// What the change delegate saw of the model at the moment it was called.
struct Seen {
    Vector3D needle;
    std::string digital;
};

class ChangeRecorder {
public:
    explicit ChangeRecorder(IGaugeViewModel& model) : model(model) {
        model.setChangeDelegate(fastdelegate::FastDelegate0<>(this, &ChangeRecorder::onChange));
    }
    ~ChangeRecorder() { model.setChangeDelegate(fastdelegate::FastDelegate0<>()); }
    void onChange() {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back({model.getNeedleEndpoint(), model.getDigitalValue()});
    }
    std::vector<Seen> calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }

private:
    IGaugeViewModel& model;
    std::mutex mutex;
    std::vector<Seen> seen;
};

class GaugeModelThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationService::Instance().reset();
        NotificationService::Instance().registerPropertyIds(
            {PROP_TEMP_F, PROP_TEMP_C, PROP_PRESSURE_IN, PROP_PRESSURE_MB, PROP_WIND_MPH,
             PROP_WIND_KMH, PROP_WIND_DIR, PROP_CONDITIONS_RESET});
    }
    void TearDown() override { NotificationService::Instance().reset(); }

    // On a thread of its own, as the scheduler's runner notifies.
    static void onWorker(const std::function<void()>& work) {
        std::thread worker(work);
        worker.join();
    }
    template <class T>
    static void notify(short id, T oldValue, T newValue) {
        NotificationService::Instance().notify<T>(id, &oldValue, &newValue);
    }
};

}  // namespace

// The widget repaints when a model tells it, so the model must already show the new value
// then: each kind of change reaches the delegate after needle and read-out have moved.
TEST_F(GaugeModelThreadsTest, TheChangeDelegateHearsAModelThatAlreadyHoldsTheNewValue) {
    TempEngViewModel fahrenheit;
    TempMetricViewModel celsius;
    BarometerEngViewModel inches;
    BarometerMetricViewModel millibars;
    WindViewModel wind(WindViewModel::UNITS_MPH);
    for (IGaugeViewModel* model :
         std::vector<IGaugeViewModel*>{&fahrenheit, &celsius, &inches, &millibars, &wind}) {
        model->constructView();
    }
    struct Case {
        const char* name;
        IGaugeViewModel* model;
        std::function<void()> change;
        std::function<Vector3D()> needle;  // where the needle must be
        std::string digital;  // the read-out it must show; empty: whatever the model shows
    };
    const Case cases[] = {
        {"temperature in F", &fahrenheit, [] { notify<float>(PROP_TEMP_F, 0.0f, 68.26f); },
         [&] { return pointOf(fahrenheit, "68"); }, "68.3"},
        {"temperature in C", &celsius, [] { notify<float>(PROP_TEMP_C, 0.0f, 21.0f); },
         [&] { return pointOf(celsius, "21"); }, "21.0"},
        {"pressure in inches", &inches, [] { notify<float>(PROP_PRESSURE_IN, 0.0f, 29.9f); },
         [&] { return pointOf(inches, "29.9"); }, ""},
        {"pressure in millibars", &millibars,
         [] { notify<float>(PROP_PRESSURE_MB, 0.0f, 1014.0f); },
         [&] { return pointOf(millibars, "1014"); }, ""},
        {"wind direction", &wind, [] { notify<std::string>(PROP_WIND_DIR, "", "SW"); },
         [&] { return pointOf(wind, "SW"); }, ""},
        {"wind speed", &wind, [] { notify<float>(PROP_WIND_MPH, 0.0f, 12.0f); },
         [&] { return pointOf(wind, "SW"); }, "12"},
        {"conditions reset", &wind, [] { notify<int>(PROP_CONDITIONS_RESET, 0, 1); },
         [] { return Vector3D(0, 0, 0); }, "Calm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChangeRecorder recorder(*c.model);
        onWorker(c.change);
        const std::vector<Seen> calls = recorder.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].needle, c.needle());
        EXPECT_EQ(calls[0].needle, c.model->getNeedleEndpoint());
        EXPECT_EQ(calls[0].digital, c.model->getDigitalValue());
        if (!c.digital.empty()) {
            EXPECT_EQ(calls[0].digital, c.digital);
        }
    }
}

// The GUI thread reads the needle, the value and the active flag (the widget, the tray) while
// the runner feeds readings and the widget turns the faces over: every needle read is a
// whole label point, and the flag ends as last set.
TEST_F(GaugeModelThreadsTest, NeedleValueAndActiveFlagAreReadWhileTheRunnerWrites) {
    TempEngViewModel model;
    model.constructView();
    const std::set<std::pair<float, float>> points = [&] {
        std::set<std::pair<float, float>> all{{0.0f, 0.0f}};
        for (const TickDisplay* tick : *model.getTicks()) {
            all.insert({tick->position->x, tick->position->y});
        }
        return all;
    }();
    std::atomic<bool> done{false};
    std::thread runner([&] {
        for (int i = 0; i < 2000; ++i) {
            notify<float>(PROP_TEMP_F, 0.0f, static_cast<float>(-20 + i % 140));
        }
        done = true;
    });
    int reads = 0;
    bool torn = false;
    while (!done || reads < 100) {
        const Vector3D needle = model.getNeedleEndpoint();
        torn = torn || points.count({needle.x, needle.y}) == 0;
        const float value = model.getValue();
        torn = torn || value < -20.0f || value > 120.0f;
        model.setActive(reads % 2 == 0);
        static_cast<void>(model.isActive());
        ++reads;
    }
    runner.join();
    EXPECT_FALSE(torn);
    model.setActive(false);
    EXPECT_FALSE(model.isActive());
    EXPECT_FLOAT_EQ(model.getValue(), static_cast<float>(-20 + 1999 % 140));
}

// A widget that goes away unbinds its delegate: the unbinding waits for a call under way, so
// nothing calls into the widget once it has returned.
TEST_F(GaugeModelThreadsTest, UnbindingTheDelegateWaitsForACallUnderWay) {
    TempEngViewModel model;
    model.constructView();
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false;
    bool release = false;
    std::atomic<int> calls{0};
    struct Listener {
        std::function<void()> body;
        void onChange() { body(); }
    } listener{[&] {
        std::unique_lock<std::mutex> lock(mutex);
        inside = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        ++calls;
    }};
    model.setChangeDelegate(fastdelegate::FastDelegate0<>(&listener, &Listener::onChange));
    std::thread runner([] { notify<float>(PROP_TEMP_F, 0.0f, 50.0f); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return inside; }));
    }
    std::atomic<bool> unbound{false};
    std::thread widget([&] {
        model.setChangeDelegate(fastdelegate::FastDelegate0<>());
        unbound = true;
    });
    // The unbinding cannot finish while the call runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(unbound);
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    widget.join();
    runner.join();
    EXPECT_TRUE(unbound);
    EXPECT_EQ(calls, 1);
    // No call after the unbinding.
    notify<float>(PROP_TEMP_F, 50.0f, 51.0f);
    EXPECT_EQ(calls, 1);
}
