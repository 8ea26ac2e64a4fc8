// What a gauge costs: one frame of one 160-pixel gauge drawn into its framebuffer (the work of
// every animation frame of a flip), and the CPU of three shown gauges with nothing animating.
// Run under a display: xvfb-run -a build/bench/gaugeframe_bench
#include <benchmark/benchmark.h>

#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <iostream>
#include <memory>
#include <set>
#include <streambuf>
#include <vector>

#include "BenchSupport.h"
#include "DoubleSidedGaugeRendererTestAccess.h"
#include "display/AnimationManager.h"
#include "display/BarometerEngViewModel.h"
#include "display/BarometerMetricViewModel.h"
#include "display/TempEngViewModel.h"
#include "display/TempMetricViewModel.h"
#include "display/WindViewModel.h"
#include "gauges/DoubleSidedGaugeRenderer.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

using namespace vpcore;

namespace {

void publish(short id, float value) {
    const float none = 0.0f;
    NotificationService::Instance().notify<float>(id, &none, &value);
}

// The three gauges of the main window, shown, with readings on every face.
class ThreeGauges {
public:
    ThreeGauges() {
        NotificationService::Instance().registerPropertyIds(
            {PROP_TEMP_F, PROP_TEMP_C, PROP_PRESSURE_MB, PROP_PRESSURE_IN, PROP_WIND_MPH,
             PROP_WIND_KMH, PROP_WIND_DIR, PROP_CONDITIONS_RESET});
        add(new TempEngViewModel(), new TempMetricViewModel());
        add(new WindViewModel(WindViewModel::UNITS_MPH),
            new WindViewModel(WindViewModel::UNITS_KMH));
        add(new BarometerEngViewModel(), new BarometerMetricViewModel());
        publish(PROP_TEMP_F, 72.4f);
        publish(PROP_TEMP_C, 22.4f);
        publish(PROP_PRESSURE_IN, 29.92f);
        publish(PROP_PRESSURE_MB, 1013.2f);
        publish(PROP_WIND_MPH, 12.0f);
        const std::string none;
        const std::string east = "E";
        NotificationService::Instance().notify<std::string>(PROP_WIND_DIR, &none, &east);
        for (auto& gauge : gauges) {
            gauge->grabFramebuffer();  // GL set-up done
        }
        QTest::qWait(200);  // the repaints the readings asked for
        // The clock exists from the first flip on and then ticks for the program's life.
        AnimationManager::Instance();
    }

    std::vector<std::unique_ptr<DoubleSidedGaugeRenderer>> gauges;

private:
    void add(IGaugeViewModel* front, IGaugeViewModel* back) {
        auto* background = new QImage(256, 256, QImage::Format_RGB32);
        background->fill(QColor(25, 25, 112));
        front->setBackgroundImage(background);
        auto gauge = std::make_unique<DoubleSidedGaugeRenderer>(nullptr, front, back);
        gauge->resize(160, 160);
        gauge->move(200, 20 + 170 * static_cast<int>(gauges.size()));
        gauge->show();
        if (!QTest::qWaitForWindowExposed(gauge.get())) {
            std::cerr << "The gauge was not shown: run under a display.\n";
        }
        gauges.push_back(std::move(gauge));
    }
};

ThreeGauges* shown = nullptr;

// One frame of the temperature gauge: clear, body, both faces (ticks, needles, read-outs),
// rim, finished on the GL side.
void BM_GaugeFrame(benchmark::State& state) {
    DoubleSidedGaugeRenderer& gauge = *shown->gauges.front();
    for (auto _ : state) {
        DoubleSidedGaugeRendererTestAccess::drawFrame(gauge);
    }
}
BENCHMARK(BM_GaugeFrame)->Unit(benchmark::kMicrosecond);

// The same frame read back into an image, as the picture tests take it.
void BM_GaugeFrameGrabbed(benchmark::State& state) {
    DoubleSidedGaugeRenderer& gauge = *shown->gauges.front();
    for (auto _ : state) {
        benchmark::DoNotOptimize(gauge.grabFramebuffer());
    }
}
BENCHMARK(BM_GaugeFrameGrabbed)->Unit(benchmark::kMicrosecond);

// The process with three shown gauges and nothing animating, for a few seconds of wall time:
// CPU time of all its threads as a percentage of one core, the animation manager's clock
// ticking.
void BM_IdleThreeGaugesCpu(benchmark::State& state) {
    const int wallMs = static_cast<int>(state.range(0));
    double cpuMs = 0.0;
    double elapsedMs = 0.0;
    for (auto _ : state) {
        benchsupport::runEventLoop(wallMs, CLOCK_PROCESS_CPUTIME_ID, cpuMs, elapsedMs);
    }
    state.counters["cpu_percent_of_core"] = cpuMs * 100.0 / elapsedMs;
}
BENCHMARK(BM_IdleThreeGaugesCpu)->Arg(5000)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchsupport::NullBuffer quiet;  // start-up log lines would cut through the table
    std::streambuf* previous = std::cout.rdbuf(&quiet);
    std::ostream out(previous);
    benchmark::Initialize(&argc, argv);
    {
        ThreeGauges gauges;
        shown = &gauges;
        benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
        reporter.SetOutputStream(&out);
        reporter.SetErrorStream(&std::cerr);
        benchmark::RunSpecifiedBenchmarks(&reporter);
        shown = nullptr;
    }
    std::cout.rdbuf(previous);
    benchmark::Shutdown();
    return 0;
}
