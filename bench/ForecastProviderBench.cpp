// What one hourly forecast update costs on the runner thread apart from the network: a
// 14-period MapClick document, held as bytes in memory, parsed into a DOM, read into records
// and handed to the forecast model. Icon downloads are not part of it.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDateTime>
#include <QDomDocument>
#include <QTimeZone>
#include <memory>
#include <string>
#include <vector>

#include "weather/ForecastItem_t.h"
#include "weather/ForecastModel.h"
#include "weather/ForecastProviderImpl.h"

using vpcore::ForecastItem_t;
using vpcore::ForecastModel;
using vpcore::ForecastProviderImpl;

namespace {

// A night-time forecast of the size and shape the site serves: hazard layouts first, minima
// leading, PoP with missing values, and a current-observations block after the forecast.
QByteArray fourteenPeriodDocument() {
    const char* names[] = {
        "Tonight",         "Saturday",     "Saturday Night", "Sunday",        "Sunday Night",
        "Monday",          "Monday Night", "Tuesday",        "Tuesday Night", "Independence Day",
        "Wednesday Night", "Thursday",     "Thursday Night", "Friday"};
    std::string d =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<dwml version=\"1.0\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n<head><product "
        "concise-name=\"dwmlByDay\" operational-mode=\"developmental\"/></head>\n<data "
        "type=\"forecast\">\n";
    for (int h = 1; h <= 2; ++h) {
        d += "<time-layout><layout-key>k-p6h-n1-" + std::to_string(h) +
             "</layout-key><start-valid-time>2026-06-29T21:00:00-04:00</start-valid-time>"
             "</time-layout>\n";
    }
    std::string periods = "<time-layout><layout-key>k-p12h-n14-1</layout-key>\n";
    std::string nights = "<time-layout><layout-key>k-p24h-n7-1</layout-key>\n";
    std::string days = "<time-layout><layout-key>k-p24h-n7-2</layout-key>\n";
    for (int i = 0; i < 14; ++i) {
        const std::string start = QDateTime(QDate(2026, 6, 29), QTime(18, 0), QTimeZone(-4 * 3600))
                                      .addSecs(12 * 3600 * i)
                                      .toString(Qt::ISODate)
                                      .toStdString();
        const std::string line = "  <start-valid-time period-name=\"" + std::string(names[i]) +
                                 "\">" + start + "</start-valid-time>\n";
        periods += line;
        (i % 2 == 0 ? nights : days) += line;
    }
    d += periods + "</time-layout>\n" + nights + "</time-layout>\n" + days + "</time-layout>\n";
    d += "<parameters applicable-location=\"point1\">\n";
    d += "<temperature type=\"minimum\" units=\"Fahrenheit\" time-layout=\"k-p24h-n7-1\">";
    for (int i = 0; i < 7; ++i) {
        d += "<value>" + std::to_string(73 + i % 4) + "</value>\n";
    }
    d += "</temperature>\n<temperature type=\"maximum\" units=\"Fahrenheit\" "
         "time-layout=\"k-p24h-n7-2\">";
    for (int i = 0; i < 7; ++i) {
        d += "<value>" + std::to_string(90 + i % 3) + "</value>\n";
    }
    d += "</temperature>\n<probability-of-precipitation type=\"12 hour\" "
         "time-layout=\"k-p12h-n14-1\">";
    for (int i = 0; i < 14; ++i) {
        d += i < 3 ? "<value xsi:nil=\"true\"></value>\n" : "<value>20</value>\n";
    }
    d += "</probability-of-precipitation>\n<weather time-layout=\"k-p12h-n14-1\">";
    for (int i = 0; i < 14; ++i) {
        d += "<weather-conditions weather-summary=\"Slight Chc Thunderstorms\"/>\n";
    }
    d += "</weather>\n<conditions-icon type=\"forecast-NWS\" time-layout=\"k-p12h-n14-1\">";
    for (int i = 0; i < 14; ++i) {
        d += "<icon-link>https://forecast.weather.gov/DualImage.php?i=tsra&amp;j=ntsra&amp;"
             "jp=" +
             std::to_string(10 * i) + "</icon-link>\n";
    }
    d += "</conditions-icon>\n<hazards time-layout=\"k-p6h-n1-1\"><hazard-conditions><hazard "
         "headline=\"Flood Warning\"><hazardTextURL>https://forecast.weather.gov/"
         "showsigwx.php?warnzone=FLZ051&amp;product1=Flood+Warning</hazardTextURL></hazard>"
         "</hazard-conditions></hazards>\n<wordedForecast time-layout=\"k-p12h-n14-1\">";
    for (int i = 0; i < 14; ++i) {
        d += "<text>A 20 percent chance of showers and thunderstorms after 2pm.  Mostly sunny, "
             "with a high near 92. Calm wind becoming west southwest 5 to 9 mph in the "
             "afternoon. </text>\n";
    }
    d += "</wordedForecast>\n</parameters>\n</data>\n<data type=\"current observations\">"
         "<time-layout><layout-key>k-p1h-n1-1</layout-key><start-valid-time "
         "period-name=\"current\">2026-06-29T19:53:00-04:00</start-valid-time></time-layout>"
         "<parameters><temperature type=\"apparent\" time-layout=\"k-p1h-n1-1\"><value>82"
         "</value></temperature><weather time-layout=\"k-p1h-n1-1\"><weather-conditions "
         "weather-summary=\"A Few Clouds\"/></weather></parameters></data>\n</dwml>\n";
    return QByteArray::fromStdString(d);
}

void BM_ParseAndApplyFourteenPeriods(benchmark::State& state) {
    const QByteArray bytes = fourteenPeriodDocument();
    ForecastModel model;
    for (auto _ : state) {
        QDomDocument document;
        document.setContent(bytes);
        std::vector<std::unique_ptr<ForecastItem_t>> items;
        std::vector<std::string> iconLinks;
        if (!ForecastProviderImpl::readForecast(document, items, iconLinks) || items.size() != 14) {
            state.SkipWithError("the document was not read");
            break;
        }
        std::vector<ForecastItem_t*> handedOver;
        for (std::unique_ptr<ForecastItem_t>& item : items) {
            handedOver.push_back(item.release());
        }
        model.assignForecastItems(handedOver);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_ParseAndApplyFourteenPeriods)->Unit(benchmark::kMicrosecond);

// The DOM-to-records step alone, on a document parsed once.
void BM_ReadParsedFourteenPeriods(benchmark::State& state) {
    QDomDocument document;
    document.setContent(fourteenPeriodDocument());
    for (auto _ : state) {
        std::vector<std::unique_ptr<ForecastItem_t>> items;
        std::vector<std::string> iconLinks;
        benchmark::DoNotOptimize(ForecastProviderImpl::readForecast(document, items, iconLinks));
    }
}
BENCHMARK(BM_ReadParsedFourteenPeriods)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
