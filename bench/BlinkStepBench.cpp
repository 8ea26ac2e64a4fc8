// What one blink step of the alert indicator costs the GUI thread, beside the least any widget
// program pays for the same step: a bare label in a window of the main window's size whose
// text is toggled on the same 600 ms timer. The difference is ours; the rest is Qt's repaint
// and its round trip to the X server.
// Run under a display: xvfb-run -a build/bench/blinkstep_bench
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <iostream>
#include <memory>

#include "BenchSupport.h"
#include "alerts/AlertWidget.h"
#include "services/PropIds.h"

namespace {

const int WINDOW_WIDTH = 800;
const int WINDOW_HEIGHT = 650;
const int BLINK_INTERVAL_MS = 600;
const int STEPS_PER_ITERATION = 10;

// A window of the main window's size, a panel inside it, and the widget under test in the
// panel's layout, as the conditions panel places the indicator.
struct Window {
    QWidget top;
    QWidget* panel;

    Window() : panel(new QWidget(&top)) {
        top.resize(WINDOW_WIDTH, WINDOW_HEIGHT);
        auto* outer = new QHBoxLayout(&top);
        outer->addWidget(panel);
        top.setStyleSheet("background-color: black;");
    }
    void show(QWidget* widget) {
        auto* row = new QHBoxLayout(panel);
        row->addWidget(widget);
        row->addStretch();
        top.show();
    }
};

// Runs the event loop of the shown window and reports the GUI thread's CPU time per blink
// step over the iterations of state. The first steps lay the window out and fill the caches.
void measureBlinkSteps(benchmark::State& state) {
    double cpuMs = 0.0;
    double elapsedMs = 0.0;
    benchsupport::runEventLoop(3 * BLINK_INTERVAL_MS, CLOCK_THREAD_CPUTIME_ID, cpuMs, elapsedMs);
    cpuMs = 0.0;
    for (auto _ : state) {
        benchsupport::runEventLoop(STEPS_PER_ITERATION * BLINK_INTERVAL_MS, CLOCK_THREAD_CPUTIME_ID,
                                   cpuMs, elapsedMs);
    }
    const double steps = static_cast<double>(state.iterations()) * STEPS_PER_ITERATION;
    state.counters["cpu_ms_per_step"] = cpuMs / steps;
    state.counters["cpu_percent_of_core"] = cpuMs * 100.0 / (steps * BLINK_INTERVAL_MS);
}

void BM_BareLabelBlinkStep(benchmark::State& state) {
    Window window;
    auto* label = new QLabel("New weather alert");
    label->setMinimumWidth(160);
    label->setStyleSheet("QLabel { color: DarkRed; font-family: Verdana; font-size: 12px;}");
    window.show(label);
    QTimer blink;
    QObject::connect(&blink, &QTimer::timeout, [label] {
        label->setText(label->text().isEmpty() ? QString("New weather alert") : QString());
    });
    blink.start(BLINK_INTERVAL_MS);
    measureBlinkSteps(state);
}
BENCHMARK(BM_BareLabelBlinkStep)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_AlertIndicatorBlinkStep(benchmark::State& state) {
    Window window;
    auto* indicator = new AlertWidget(nullptr, nullptr);
    window.show(indicator);
    indicator->onAlertEvent(vpcore::PROP_ALERTS_CHANGED);
    measureBlinkSteps(state);
}
BENCHMARK(BM_AlertIndicatorBlinkStep)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
