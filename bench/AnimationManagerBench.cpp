// What the animation clock costs the GUI thread: its timer runs for the whole life of the
// program, so an idle minute must cost next to nothing, and a frame must stay allocation-free
// while three animations (three gauge flips) run.
#include <benchmark/benchmark.h>

#include <time.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <streambuf>
#include <vector>

#include "AnimationManagerTestAccess.h"
#include "BenchSupport.h"
#include "display/AnimationManager.h"
#include "display/AnimationObject.h"

using vpcore::AnimationManager;
using vpcore::AnimationManagerTestAccess;
using vpcore::AnimationObject;

// Counts every allocation of the process, so that a frame can show it makes none.
static std::atomic<long> allocations{0};

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// A gauge flip as the gauge widget runs it: 3 degrees per step, endless here; the repaint is
// left out, it is the widget's cost, not the clock's.
class Flip {
public:
    Flip()
        : animation(15.0f, fastdelegate::FastDelegate0<>(this, &Flip::step),
                    fastdelegate::FastDelegate0<>(this, &Flip::display)) {}
    void step() {
        angle += 3.0f;
        if (angle >= 360.0f) {
            angle = 0.0f;
        }
        benchmark::DoNotOptimize(angle);
    }
    void display() { benchmark::DoNotOptimize(++frames); }

    float angle = 0.0f;
    long frames = 0;
    AnimationObject animation;
};

// One frame as the timer delivers it, with nothing registered.
void BM_IdleFrame(benchmark::State& state) {
    auto manager = AnimationManagerTestAccess::create();
    for (auto _ : state) {
        AnimationManagerTestAccess::timerFrame(*manager);
    }
    state.counters["frames_per_minute"] = 60000.0 / AnimationManager::INTERVAL_MS;
}
BENCHMARK(BM_IdleFrame);

// One frame of 16 ms with three running flips: six delegate calls of walking, three steps.
void BM_FrameWithThreeFlips(benchmark::State& state) {
    auto manager = AnimationManagerTestAccess::create();
    std::vector<std::unique_ptr<Flip>> flips;
    for (int i = 0; i < 3; ++i) {
        flips.push_back(std::make_unique<Flip>());
        manager->registerAnimationObject(&flips.back()->animation);
    }
    const long before = allocations.load();
    for (auto _ : state) {
        AnimationManagerTestAccess::frame(*manager, AnimationManager::INTERVAL_MS);
    }
    state.counters["allocations_per_frame"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
    for (auto& flip : flips) {
        manager->unregisterAnimationObject(&flip->animation);
    }
}
BENCHMARK(BM_FrameWithThreeFlips);

// The real thing: the GUI thread's event loop with only the idle manager's timer in it, for
// a few seconds of wall time; reports the CPU time of that thread scaled to one minute.
void BM_IdleManagerCpuPerMinute(benchmark::State& state) {
    auto manager = AnimationManagerTestAccess::create();
    const int wallMs = static_cast<int>(state.range(0));
    double cpuMs = 0.0;
    double elapsedMs = 0.0;
    for (auto _ : state) {
        benchsupport::runEventLoop(wallMs, CLOCK_THREAD_CPUTIME_ID, cpuMs, elapsedMs);
    }
    state.counters["cpu_ms_per_minute"] = cpuMs * 60000.0 / elapsedMs;
}
BENCHMARK(BM_IdleManagerCpuPerMinute)->Arg(3000)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchsupport::NullBuffer quiet;  // the managers' start-up log lines would cut through the table
    std::streambuf* previous = std::cout.rdbuf(&quiet);
    std::ostream out(previous);
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&out);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout.rdbuf(previous);
    benchmark::Shutdown();
    return 0;
}
