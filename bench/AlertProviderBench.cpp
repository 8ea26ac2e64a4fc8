// What one alert run costs the runner thread once the feed has arrived: parsing a 40-entry
// state feed from bytes in memory into alerts, and handing them to the alert model, both for
// the usual unchanged feed and for a feed whose every alert is new (each one logged). Then
// one refresh of hostile sizes: 10 000 entries sharing one id and 100 000 distinct entries,
// handed to the model as the same alerts again in fresh records, and the same 10 000 entries
// parsed from a feed first.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDomDocument>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

#include "BenchSupport.h"
#include "services/NotificationService.h"
#include "weather/AlertModel.h"
#include "weather/AlertProviderImpl.h"

using vpcore::AlertModel;
using vpcore::AlertProviderImpl;

namespace {

// The log goes to standard output, which the benchmark's own report uses too.
class QuietLog {
public:
    QuietLog() : previous(std::cout.rdbuf(&sink)) {}
    ~QuietLog() { std::cout.rdbuf(previous); }

private:
    benchsupport::NullBuffer sink;
    std::streambuf* previous;
};

const int kEntries = 40;

// A state feed in the shape the service writes: tab-indented entries with the usual cap
// children, empty polygons and a two-line VTEC value. The tag changes every id.
QByteArray stateFeed(const std::string& tag) {
    std::string feed =
        "<?xml version = '1.0' encoding = 'UTF-8' standalone = 'yes'?>\n"
        "<feed\nxmlns = 'http://www.w3.org/2005/Atom'\n"
        "xmlns:cap = 'urn:oasis:names:tc:emergency:cap:1.1'\n"
        "xmlns:ha = 'http://www.alerting.net/namespace/index_1.0'\n>\n"
        "<id>http://alerts.example/cap/tx.atom</id>\n"
        "<generator>NWS CAP Server</generator>\n"
        "<updated>2026-12-10T13:13:00-06:00</updated>\n"
        "<title>Current Watches, Warnings and Advisories for Texas</title>\n"
        "<link href='http://alerts.example/cap/tx.atom'/>\n";
    for (int i = 0; i < kEntries; ++i) {
        const std::string id = "http://alerts.example/cap/wwacapget.php?x=TX" + tag +
                               std::to_string(i) + ".WinterStormWarning.EWXWSWEWX";
        feed += "\t<entry>\n\t<id>" + id +
                "</id>\n"
                "\t<updated>2026-12-10T13:13:00-06:00</updated>\n"
                "\t<published>2026-12-10T13:13:00-06:00</published>\n"
                "\t<author>\n\t<name>w-nws.webmaster@noaa.gov</name>\n\t</author>\n"
                "\t<title>Winter Storm Warning issued December 10 at 1:13PM CST until December "
                "11 at 6:00PM CST by NWS</title>\n"
                "\t<link href='" +
                id +
                "'/>\n"
                "\t<summary>...WINTER STORM WARNING IN EFFECT UNTIL 6 PM CST FRIDAY... * WHAT..."
                "HEAVY SNOW EXPECTED. TOTAL SNOW ACCUMULATIONS OF 6 TO 10 INCHES. * WHERE..."
                "PORTIONS OF CENTRAL TEXAS. * WHEN...UNTIL 6 PM CST FRIDAY.</summary>\n"
                "\t<cap:event>Winter Storm Warning</cap:event>\n"
                "\t<cap:effective>2026-12-10T13:13:00-06:00</cap:effective>\n"
                "\t<cap:expires>2026-12-11T18:00:00-06:00</cap:expires>\n"
                "\t<cap:status>Actual</cap:status>\n\t<cap:msgType>Alert</cap:msgType>\n"
                "\t<cap:category>Met</cap:category>\n\t<cap:urgency>Expected</cap:urgency>\n"
                "\t<cap:severity>Moderate</cap:severity>\n\t<cap:certainty>Likely</cap:certainty>\n"
                "\t<cap:areaDesc>Travis; Williamson; Hays</cap:areaDesc>\n"
                "\t<cap:polygon></cap:polygon>\n"
                "\t<cap:geocode>\n\t<valueName>FIPS6</valueName>\n"
                "\t<value>048453 048491 048209</value>\n\t<valueName>UGC</valueName>\n"
                "\t<value>TXZ192 TXZ173 TXZ191</value>\n\t</cap:geocode>\n"
                "\t<cap:parameter>\n\t<valueName>VTEC</valueName>\n"
                "\t<value>/O.EXT.KEWX.WS.W.0003.000000T0000Z-261212T0000Z/\n"
                "/O.NEW.KEWX.WS.W.0004.261211T0000Z-261212T0000Z/</value>\n"
                "\t</cap:parameter>\n\t</entry>\n";
    }
    return QByteArray::fromStdString(feed + "</feed>\n");
}

AlertModel::AlertList parse(const QByteArray& bytes) {
    QDomDocument document;
    document.setContent(bytes);
    return AlertProviderImpl::parseAlerts(document);
}

void BM_ParseStateFeed(benchmark::State& state) {
    const QByteArray bytes = stateFeed("A");
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse(bytes));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_ParseStateFeed)->Unit(benchmark::kMillisecond);

// The usual run: the same alerts as last time.
void BM_ParseAndApplyUnchangedStateFeed(benchmark::State& state) {
    const QByteArray bytes = stateFeed("A");
    QuietLog quiet;
    AlertModel model;
    model.assignAlerts(parse(bytes));
    for (auto _ : state) {
        model.assignAlerts(parse(bytes));
    }
}
BENCHMARK(BM_ParseAndApplyUnchangedStateFeed)->Unit(benchmark::kMillisecond);

// The worst run: every alert is new and written to the log.
void BM_ParseAndApplyAllNewStateFeed(benchmark::State& state) {
    QuietLog quiet;
    AlertModel model;
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QByteArray bytes = stateFeed("R" + std::to_string(run++) + "-");
        state.ResumeTiming();
        model.assignAlerts(parse(bytes));
    }
}
BENCHMARK(BM_ParseAndApplyAllNewStateFeed)->Unit(benchmark::kMillisecond);

// Small entries as a hostile feed writes them: an id, a time stamp and a summary. With
// sharedId every entry has the same id and its own published time, so that only the time
// stamps tell them apart.
AlertModel::AlertList smallAlerts(int count, bool sharedId) {
    AlertModel::AlertList alerts;
    alerts.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto alert = std::make_shared<vpcore::Alert_t>(
            "http://alerts.example/cap/x" + (sharedId ? std::string("0") : std::to_string(i)));
        const int minutes = i % (60 * 24 * 28);
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "2026-12-%02dT%02d:%02d:%02d-06:00",
                      1 + minutes / (60 * 24), minutes / 60 % 24, minutes % 60,
                      i / (60 * 24 * 28) % 60);
        alert->published = stamp;
        alert->summary = "Entry " + std::to_string(i);
        alerts.push_back(alert);
    }
    return alerts;
}

QByteArray smallFeed(const AlertModel::AlertList& alerts) {
    std::string feed = "<?xml version='1.0'?>\n<feed xmlns='http://www.w3.org/2005/Atom'>\n";
    for (const std::shared_ptr<vpcore::Alert_t>& alert : alerts) {
        feed += "<entry><id>" + alert->id + "</id><published>" + alert->published +
                "</published><summary>" + alert->summary + "</summary></entry>\n";
    }
    return QByteArray::fromStdString(feed + "</feed>\n");
}

// One refresh that brings the alerts the model holds again, as fresh records.
void BM_RefreshSameAlerts(benchmark::State& state, bool sharedId) {
    QuietLog quiet;
    const int count = static_cast<int>(state.range(0));
    AlertModel model;
    model.assignAlerts(smallAlerts(count, sharedId));
    for (auto _ : state) {
        state.PauseTiming();
        const AlertModel::AlertList fresh = smallAlerts(count, sharedId);
        state.ResumeTiming();
        model.assignAlerts(fresh);
    }
}
BENCHMARK_CAPTURE(BM_RefreshSameAlerts, shared_id, true)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RefreshSameAlerts, distinct, false)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The same refresh with the feed parsed first (as far as the entry limit lets it read).
void BM_ParseAndRefreshSharedIdFeed(benchmark::State& state) {
    QuietLog quiet;
    const QByteArray bytes = smallFeed(smallAlerts(static_cast<int>(state.range(0)), true));
    AlertModel model;
    model.assignAlerts(parse(bytes));
    for (auto _ : state) {
        model.assignAlerts(parse(bytes));
    }
}
BENCHMARK(BM_ParseAndRefreshSharedIdFeed)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
