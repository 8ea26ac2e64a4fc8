// What the location page waits for on the GUI thread: the first lookup of each code table
// (which reads its data file) and a closest-station search once the stations are loaded,
// all on the installed data files.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "NWSCodeServiceTestAccess.h"
#include "weather/NWSCodeService.h"

using vpcore::NWSCodeService;
using vpcore::NWSCodeServiceTestAccess;

namespace {

const std::string kResources = std::string(OMBRIX_SOURCE_DIR) + "/resources";
const std::pair<float, float> kTexasCapitol(30.2747f, -97.7404f);

// Each iteration starts with an empty service; building and freeing it is not measured.
template <typename Lookup>
void firstLookup(benchmark::State& state, Lookup lookup) {
    for (auto _ : state) {
        state.PauseTiming();
        auto service = NWSCodeServiceTestAccess::create(kResources);
        state.ResumeTiming();
        lookup(*service);
        state.PauseTiming();
        service.reset();
        state.ResumeTiming();
    }
}

void BM_FirstGetLocationInfo(benchmark::State& state) {
    firstLookup(state, [](NWSCodeService& service) {
        benchmark::DoNotOptimize(service.getLocationInfo("78701"));
    });
}
BENCHMARK(BM_FirstGetLocationInfo)->Unit(benchmark::kMillisecond);

void BM_FirstGetStateAlertCodes(benchmark::State& state) {
    firstLookup(state, [](NWSCodeService& service) {
        benchmark::DoNotOptimize(&service.getStateAlertCodes("TX"));
    });
}
BENCHMARK(BM_FirstGetStateAlertCodes)->Unit(benchmark::kMillisecond);

void BM_FirstGetClosestStation(benchmark::State& state) {
    firstLookup(state, [](NWSCodeService& service) {
        float distance = 0;
        benchmark::DoNotOptimize(&service.getClosestStation(kTexasCapitol, distance));
    });
}
BENCHMARK(BM_FirstGetClosestStation)->Unit(benchmark::kMillisecond);

void BM_WarmGetClosestStations5(benchmark::State& state) {
    auto service = NWSCodeServiceTestAccess::create(kResources);
    float distance = 0;
    service->getClosestStation(kTexasCapitol, distance);
    std::vector<NWSCodeService::Station_t*> stations;
    std::vector<float> distances;
    for (auto _ : state) {
        stations.clear();
        distances.clear();
        service->getClosestStations(kTexasCapitol, 5, stations, distances);
        benchmark::DoNotOptimize(stations.data());
    }
}
BENCHMARK(BM_WarmGetClosestStations5)->Unit(benchmark::kMicrosecond);

}  // namespace

// The service logs every load to standard output; those lines go nowhere here so that the
// report stays readable.
int main(int argc, char** argv) {
    std::ostream report(std::cout.rdbuf());
    benchsupport::NullBuffer discarded;
    std::streambuf* const previous = std::cout.rdbuf(&discarded);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        std::cout.rdbuf(previous);
        return 1;
    }
    // Colours only on a terminal: the reporter given here does not read the colour flag.
    benchmark::ConsoleReporter reporter(isatty(fileno(stdout)) != 0
                                            ? benchmark::ConsoleReporter::OO_Defaults
                                            : benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&report);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::cout.rdbuf(previous);
    return 0;
}
