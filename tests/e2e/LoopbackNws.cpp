#include "LoopbackNws.h"

#include <QtGlobal>
#include <sstream>

#include "services/FastDelegate.h"
#include "services/FileService.h"
#include "services/NotificationService.h"
#include "services/TaskScheduler.h"
#include "weather/ForecastModel.h"
#include "weather/LocationService.h"
#include "weather/NWSCodeService.h"

namespace e2e {

namespace {

const std::string kFixtureRoot = std::string(OMBRIX_FIXTURE_DIR) + "/nws/";

const std::set<short> kFloatIds = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 14, 15};
const std::set<short> kIntIds = {8, 22, 23, 24, 25, 26, 28};
const std::set<short> kStringIds = {11, 12, 13, 16, 17, 18, 20, 21, 27};
const std::set<short> kLinkIds = {19};
const std::set<short> kHiLoIds = {29};

const char* const kHostVariables[] = {"OMBRIX_NWS_HOST", "OMBRIX_FORECAST_HOST",
                                      "OMBRIX_ALERTS_HOST"};

std::string readFixture(const std::string& path) {
    const std::string content = testsupport::readFile(kFixtureRoot + path);
    if (content.empty()) {
        throw std::runtime_error("missing fixture " + kFixtureRoot + path);
    }
    return content;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::vector<std::string> allBetween(const std::string& text, const std::string& open,
                                    const std::string& close) {
    std::vector<std::string> found;
    for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        const std::size_t start = at + open.size();
        found.push_back(text.substr(start, text.find(close, start) - start));
    }
    return found;
}

std::string degrees(const std::string& text) {
    std::ostringstream out;
    out << static_cast<double>(std::stof(text));
    return out.str();
}

std::string show(float value) {
    std::ostringstream out;
    out << value;
    return out.str();
}
std::string show(int value) {
    return std::to_string(value);
}
std::string show(const std::string& value) {
    return value;
}
std::string show(const std::vector<std::pair<std::string, std::string>>& links) {
    return std::to_string(links.size()) + " links";
}
std::string show(const std::pair<int, std::string>& hiLo) {
    return std::to_string(hiLo.first) + " " + hiLo.second;
}

class ForecastCounter {
public:
    void onForecast() { ++calls; }
    std::atomic<int> calls{0};
};

}  // namespace

const Place AUSTIN = {"78701",  "30.2711", "-97.7437",
                      "TXC453", "KATT",    "Austin City, Austin Camp Mabry",
                      "KAUS",   "AMA",     "Austin, TX"};
const Place DENVER = {"80202",  "39.7527", "-104.9995",
                      "COC031", "KBJC",    "Rocky Mountain Metropolitan Airport",
                      "KBKF",   "FTG",     "Denver, CO"};
const Place TAMPA = {"33602", "27.9517", "-82.4588", "FLC057", "KTPF", "Peter O Knight Airport",
                     "KTPA",  "AMX",     "Tampa, FL"};

vpcore::Location_t Place::location(const std::string& suffix) const {
    vpcore::Location_t location;
    location.zipCode = zip;
    location.alertCode = alertCode;
    location.stationId = station;
    location.stationName = stationName;
    location.radarId = radarId;
    location.radarName = radarId + " radar";
    location.displayName = city + " " + suffix;
    return location;
}

std::string Place::forecastTarget() const {
    return "/MapClick.php?lat=" + degrees(latitude) + "&lon=" + degrees(longitude) +
           "&FcstType=dwml";
}

std::string Place::zipLookupTarget() const {
    return "/forecasts/xml/sample_products/browser_interface/ndfdXMLclient.php?listZipCodeList=" +
           zip;
}

LoopbackNws::LoopbackNws() {
    for (const char* variable : kHostVariables) {
        qputenv(variable, server.host().c_str());
    }
    vpcore::FileService::Instance().setApplicationDataPath(dataFolder.path() + "/");
    vpcore::NWSCodeService::Instance().setBasePath(std::string(OMBRIX_SOURCE_DIR) + "/resources");
}

LoopbackNws::~LoopbackNws() {
    // No task may fetch once the server is gone and the hosts are the real ones again.
    vpcore::TaskScheduler::instance().shutdown();
    for (const char* variable : kHostVariables) {
        qunsetenv(variable);
    }
}

std::string LoopbackNws::document(const std::string& path, const std::string& code) const {
    std::string content = readFixture(path);
    replaceAll(content, "$FIXTURE_BASE$", server.url(""));
    replaceAll(content, "$CODE$", code);
    return content;
}

void LoopbackNws::serve(const Place& place) {
    using testsupport::HttpTestServer;
    const std::string base = server.url("");
    for (const std::string& station : {place.station, place.alternate}) {
        const std::string observation = document("xml/current_obs/" + station + ".xml");
        server.addRoute("/xml/current_obs/" + station + ".xml", HttpTestServer::ok(observation));
        const auto iconBase = allBetween(observation, "<icon_url_base>", "<");
        const auto iconName = allBetween(observation, "<icon_url_name>", "<");
        if (!iconBase.empty() && !iconName.empty()) {
            const std::string path = iconBase[0].substr(base.size()) + iconName[0];
            server.addRoute(path, HttpTestServer::ok(readFixture(path.substr(1)), "image/png"));
        }
    }
    server.addRoute(
        place.zipLookupTarget(),
        HttpTestServer::ok("<?xml version='1.0'?><dwml version='1.0'><latLonList>" +
                           place.latitude + "," + place.longitude + "</latLonList></dwml>"));
    const std::string forecast = document("forecast/" + place.zip + ".xml");
    server.addRoute(place.forecastTarget(), HttpTestServer::ok(forecast));
    for (const std::string& link : allBetween(forecast, "<icon-link>", "</icon-link>")) {
        const std::string path = link.substr(base.size());
        server.addRoute(path, HttpTestServer::ok(readFixture(path.substr(1)), "image/png"));
    }
    const std::string feedFile = "alerts/" + place.alertCode + ".xml";
    const std::string feed = testsupport::readFile(kFixtureRoot + feedFile).empty()
                                 ? document("alerts/none.xml", place.alertCode)
                                 : document(feedFile);
    server.addRoute(place.alertTarget(), HttpTestServer::ok(feed));
    for (const std::string& entry : allBetween(feed, "<entry>", "</entry>")) {
        const std::string id = allBetween(entry, "<id>", "</id>").at(0);
        const std::size_t query = id.find("wwacapget.php?x=");
        if (query != std::string::npos) {
            server.addRoute(id.substr(base.size()),
                            HttpTestServer::ok(document("cap/" + id.substr(query + 16) + ".xml")));
        }
    }
}

int LoopbackNws::requestsSince(std::size_t mark, const std::string& target) const {
    const auto all = server.requests();
    int count = 0;
    for (std::size_t i = mark; i < all.size(); ++i) {
        if (all[i].target == target) {
            ++count;
        }
    }
    return count;
}

PropertyJournal::PropertyJournal()
    : floats(*this), ints(*this), strings(*this), links(*this), hiLo(*this) {
    vpcore::NotificationService& notifications = vpcore::NotificationService::Instance();
    notifications.addPropertyChangeListener<float>(&floats, kFloatIds);
    notifications.addPropertyChangeListener<int>(&ints, kIntIds);
    notifications.addPropertyChangeListener<std::string>(&strings, kStringIds);
    notifications.addPropertyChangeListener<std::vector<std::pair<std::string, std::string>>>(
        &links, kLinkIds);
    notifications.addPropertyChangeListener<std::pair<int, std::string>>(&hiLo, kHiLoIds);
}

PropertyJournal::~PropertyJournal() {
    vpcore::NotificationService& notifications = vpcore::NotificationService::Instance();
    notifications.removePropertyChangeListener<float>(&floats, kFloatIds);
    notifications.removePropertyChangeListener<int>(&ints, kIntIds);
    notifications.removePropertyChangeListener<std::string>(&strings, kStringIds);
    notifications.removePropertyChangeListener<std::vector<std::pair<std::string, std::string>>>(
        &links, kLinkIds);
    notifications.removePropertyChangeListener<std::pair<int, std::string>>(&hiLo, kHiLoIds);
}

template <class T>
void PropertyJournal::Listener<T>::handlePropertyChange(short id, const T* const,
                                                        const T* const newValue) {
    journal.record(id, show(*newValue));
}

void PropertyJournal::record(short id, const std::string& value) {
    std::lock_guard<std::mutex> lock(mutex);
    lastValues[id] = value;
    ++counts[id];
}

std::set<short> PropertyJournal::ids() const {
    std::lock_guard<std::mutex> lock(mutex);
    std::set<short> heard;
    for (const auto& entry : counts) {
        heard.insert(entry.first);
    }
    return heard;
}

std::string PropertyJournal::last(short id) const {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = lastValues.find(id);
    return found != lastValues.end() ? found->second : "";
}

int PropertyJournal::count(short id) const {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = counts.find(id);
    return found != counts.end() ? found->second : 0;
}

void PropertyJournal::clear() {
    std::lock_guard<std::mutex> lock(mutex);
    lastValues.clear();
    counts.clear();
}

int forecastHandlerCalls() {
    static ForecastCounter counter;
    static std::once_flag registered;
    std::call_once(registered, [] {
        vpcore::LocationService::Instance().getForecastModel()->registerHandler(
            fastdelegate::FastDelegate0<void>(&counter, &ForecastCounter::onForecast));
    });
    return counter.calls;
}

}  // namespace e2e
