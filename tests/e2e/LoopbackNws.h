// Helpers of the location service and end-to-end tests: a loopback server that plays the NWS
// with the fixture NWS documents (tests/fixtures/nws), the places those documents describe, a
// journal of every published property, and deadline-bound waits.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HttpTestServer.h"
#include "TempDir.h"
#include "WaitUntil.h"
#include "services/IPropertyChangeListener.h"
#include "weather/Location_t.h"

namespace e2e {

using testsupport::waitUntil;

// One place of the fixture documents, with what the location page would store for it.
struct Place {
    std::string zip;
    std::string latitude;  // as the zip lookup answers
    std::string longitude;
    std::string alertCode;
    std::string station;
    std::string stationName;
    std::string alternate;  // the next station within 20 miles
    std::string radarId;
    std::string city;  // "City, ST"

    // The record, its display name made unique by the suffix: the location service lives as
    // long as the test program, and a name selected by an earlier test would be current.
    vpcore::Location_t location(const std::string& suffix) const;
    // The forecast request for the place's position, written as the forecast provider writes
    // a float position.
    std::string forecastTarget() const;
    std::string zipLookupTarget() const;
    std::string observationTarget() const { return "/xml/current_obs/" + station + ".xml"; }
    std::string alternateTarget() const { return "/xml/current_obs/" + alternate + ".xml"; }
    std::string alertTarget() const { return "/cap/wwaatmget.php?x=" + alertCode; }
};

extern const Place AUSTIN;  // two alerts
extern const Place DENVER;  // no alerts
extern const Place TAMPA;   // one alert

// A loopback server with the NWS, forecast and alert hosts pointed at it, a fresh user data
// folder (coordinates cache) and the real code tables. Nothing is served until asked. It stops
// the scheduler before it goes, so that no task reaches for the real hosts.
class LoopbackNws {
public:
    LoopbackNws();
    ~LoopbackNws();
    LoopbackNws(const LoopbackNws&) = delete;
    LoopbackNws& operator=(const LoopbackNws&) = delete;

    // Everything the place's documents need: observations of its station and alternate, the
    // zip lookup, the forecast with its icons, the alert feed and its CAP documents.
    void serve(const Place& place);
    // The fixture document at tests/fixtures/nws/<path>, its links leading to this server.
    std::string document(const std::string& path, const std::string& code = "") const;

    // How many requests were made for the target since the mark (0 = since the start).
    int requestsSince(std::size_t mark, const std::string& target) const;
    std::size_t mark() const { return server.requests().size(); }

    testsupport::HttpTestServer server;
    testsupport::TempDir dataFolder;
};

// Records every property the core publishes (ids 0-29, each with its own value type) as text,
// from whatever thread it comes. Registered while it lives.
class PropertyJournal {
public:
    PropertyJournal();
    ~PropertyJournal();
    PropertyJournal(const PropertyJournal&) = delete;
    PropertyJournal& operator=(const PropertyJournal&) = delete;

    // The ids heard since the last clear.
    std::set<short> ids() const;
    // The last value heard for the id, as text ("" when none).
    std::string last(short id) const;
    int count(short id) const;
    void clear();

private:
    template <class T>
    class Listener : public vpcore::IPropertyChangeListener<T> {
    public:
        explicit Listener(PropertyJournal& journal) : journal(journal) {}
        void handlePropertyChange(short id, const T* const, const T* const newValue) override;

    private:
        PropertyJournal& journal;
    };

    void record(short id, const std::string& value);

    Listener<float> floats;
    Listener<int> ints;
    Listener<std::string> strings;
    Listener<std::vector<std::pair<std::string, std::string>>> links;
    Listener<std::pair<int, std::string>> hiLo;

    mutable std::mutex mutex;
    std::map<short, std::string> lastValues;
    std::map<short, int> counts;
};

// Counts the forecast model's calls of its handler. The model keeps its handlers for its life
// (the process's), so one counter is registered once and read by every test.
int forecastHandlerCalls();

}  // namespace e2e
