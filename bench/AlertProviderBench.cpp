// What one alert run costs the runner thread once the feed has arrived: parsing a 40-entry
// state feed from bytes in memory into alerts, and handing them to the alert model, both for
// the usual unchanged feed and for a feed whose every alert is new (each one logged).
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDomDocument>
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

}  // namespace

BENCHMARK_MAIN();
