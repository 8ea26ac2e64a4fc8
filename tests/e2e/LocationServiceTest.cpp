// The location service with the real models, providers and scheduler threads against the
// loopback NWS. The service is a process-wide singleton: every test lists locations under names
// of its own and stops the scheduler when it ends.
#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "ExceptionText.h"
#include "LogCapture.h"
#include "LoopbackNws.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "weather/AlertModel.h"
#include "weather/CurrentWeatherInfoModel.h"
#include "weather/ForecastModel.h"
#include "weather/LocationService.h"

using namespace vpcore;
using e2e::AUSTIN;
using e2e::DENVER;
using e2e::TAMPA;

namespace {

const std::string kSelectionError =
    "Unable to set the location. Please choose another location or try again later.";

std::vector<std::string> namesOf(const std::vector<Location_t>& locations) {
    std::vector<std::string> names;
    for (const Location_t& location : locations) {
        names.push_back(location.displayName);
    }
    return names;
}

// The scheduler's time of day while it lives.
class SchedulerClock {
public:
    explicit SchedulerClock(const QTime& time) : current(QDate(2026, 12, 10), time) {
        TaskScheduler::instance().setClock([this] {
            std::lock_guard<std::mutex> lock(mutex);
            return current;
        });
    }
    ~SchedulerClock() { TaskScheduler::instance().setClock({}); }
    void set(const QTime& time) {
        std::lock_guard<std::mutex> lock(mutex);
        current = QDateTime(current.date(), time);
    }

private:
    std::mutex mutex;
    QDateTime current;
};

// Holds the selecting thread for longer than the scheduler's pass period once it has logged a
// line with the fragment (standard output is where the logger writes), so that a scheduling
// pass, if one can come at that step, comes.
class PauseAfterLogLine : public std::streambuf {
public:
    explicit PauseAfterLogLine(std::string fragment)
        : fragment(std::move(fragment)),
          selecting(std::this_thread::get_id()),
          next(std::cout.rdbuf(this)) {}
    ~PauseAfterLogLine() override { std::cout.rdbuf(next); }
    PauseAfterLogLine(const PauseAfterLogLine&) = delete;
    PauseAfterLogLine& operator=(const PauseAfterLogLine&) = delete;

protected:
    int_type overflow(int_type ch) override {
        const char c = traits_type::to_char_type(ch);
        return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override {
        const std::streamsize written = next->sputn(data, size);
        if (std::this_thread::get_id() == selecting) {
            line.append(data, static_cast<std::size_t>(size));
            if (line.find('\n') != std::string::npos) {
                const bool pause = line.find(fragment) != std::string::npos;
                line.clear();
                if (pause) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                }
            }
        }
        return written;
    }

private:
    const std::string fragment;
    const std::thread::id selecting;
    std::streambuf* const next;
    std::string line;  // of the selecting thread
};

class LocationServiceTest : public ::testing::Test {
protected:
    void TearDown() override { TaskScheduler::instance().shutdown(); }

    // Lists the three places under names of this test.
    void listPlaces() {
        suffix = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        service.setLocations(
            {AUSTIN.location(suffix), DENVER.location(suffix), TAMPA.location(suffix)});
    }
    std::string nameOf(const e2e::Place& place) const { return place.location(suffix).displayName; }

    bool select(const e2e::Place& place, std::string& error) {
        return service.setCurrentLocation(nameOf(place), error);
    }

    LocationService& service = LocationService::Instance();
    std::string suffix;
};

TEST_F(LocationServiceTest, KeepsOneLocationPerDisplayNameInNameOrder) {
    Location_t first = TAMPA.location("list");
    Location_t second = first;
    second.stationId = "KTPA";
    service.setLocations({first, AUSTIN.location("list"), second});

    std::vector<Location_t> all = {DENVER.location("stale")};
    service.getLocations(all);
    EXPECT_EQ(namesOf(all), (std::vector<std::string>{"Austin, TX list", "Tampa, FL list"}));
    EXPECT_EQ(service.getLocation("Tampa, FL list")->stationId, "KTPF") << "the first one wins";

    service.addLocation(second);
    EXPECT_EQ(service.getLocation("Tampa, FL list")->stationId, "KTPF");
    service.addLocation(DENVER.location("list"));
    service.getLocations(all);
    EXPECT_EQ(all.size(), 3u);

    EXPECT_TRUE(service.deleteLocation("Denver, CO list"));
    EXPECT_FALSE(service.deleteLocation("Denver, CO list"));
    EXPECT_EQ(service.getLocation("Denver, CO list"), nullptr);

    service.setLocations({});
    service.getLocations(all);
    EXPECT_TRUE(all.empty());
}

TEST_F(LocationServiceTest, AnUnlistedNameIsRefused) {
    listPlaces();
    std::string error;
    EXPECT_EQ(testsupport::exceptionText<std::invalid_argument>(
                  [&] { service.setCurrentLocation("Nowhere, XX", error); }),
              "Location does not exist");
    EXPECT_EQ(error, "");
}

TEST_F(LocationServiceTest, SelectingInstallsRunsAndSchedulesTheLocationsProviders) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    // Declared before the loopback NWS, whose end stops the scheduler, they outlive its threads.
    testsupport::LogCapture log;
    e2e::PropertyJournal journal;
    SchedulerClock clock(QTime(10, 16, 50));
    e2e::LoopbackNws nws;
    nws.serve(AUSTIN);
    listPlaces();

    std::string error;
    ASSERT_TRUE(select(AUSTIN, error));
    EXPECT_EQ(error, "");
    ASSERT_NE(service.getCurrentLocation(), nullptr);
    EXPECT_EQ(service.getCurrentLocation()->displayName, nameOf(AUSTIN));
    ASSERT_TRUE(service.getCurrentLocation()->position);
    EXPECT_EQ(*service.getCurrentLocation()->position, std::make_pair(30.2711f, -97.7437f));
    EXPECT_EQ(journal.last(PROP_CURRENT_LOCATION), nameOf(AUSTIN));

    // The station is tested before the position is looked up, and everything runs at once.
    ASSERT_TRUE(e2e::waitUntil([&] {
        return nws.requestsSince(0, AUSTIN.observationTarget()) == 2 &&
               nws.requestsSince(0, AUSTIN.forecastTarget()) == 1 &&
               nws.requestsSince(0, AUSTIN.alertTarget()) == 1;
    }));
    const auto requests = nws.server.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, AUSTIN.observationTarget());
    EXPECT_EQ(requests[1].target, AUSTIN.zipLookupTarget());
    EXPECT_EQ(nws.requestsSince(0, AUSTIN.zipLookupTarget()), 1) << "looked up once";
    EXPECT_TRUE(
        log.contains("INFO: Second Task <Alert Update> added for execution at every 120 "
                     "seconds."));

    // Current conditions are due at minute 17, the forecast at minute 46.
    std::size_t mark = nws.mark();
    clock.set(QTime(10, 17, 6));
    ASSERT_TRUE(
        e2e::waitUntil([&] { return nws.requestsSince(mark, AUSTIN.observationTarget()) == 1; }));
    EXPECT_EQ(nws.requestsSince(mark, AUSTIN.forecastTarget()), 0);
    mark = nws.mark();
    clock.set(QTime(10, 46, 6));
    ASSERT_TRUE(
        e2e::waitUntil([&] { return nws.requestsSince(mark, AUSTIN.forecastTarget()) == 1; }));
    EXPECT_EQ(nws.requestsSince(mark, AUSTIN.observationTarget()), 0);
}

TEST_F(LocationServiceTest, SelectingTheCurrentLocationAgainChangesNothing) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    // Captured from before the scheduler's threads write to standard output.
    testsupport::LogCapture log;
    e2e::LoopbackNws nws;
    nws.serve(AUSTIN);
    listPlaces();
    std::string error;
    ASSERT_TRUE(select(AUSTIN, error));
    const Location_t* current = service.getCurrentLocation();

    log.clear();
    const std::size_t mark = nws.mark();
    EXPECT_TRUE(select(AUSTIN, error));
    EXPECT_EQ(service.getCurrentLocation(), current);
    EXPECT_EQ(nws.mark(), mark) << "no station test, no lookup";
    EXPECT_FALSE(log.contains("TaskScheduler is shutdown."));
    EXPECT_FALSE(log.contains("TaskScheduler has been started."));
}

// Deleting another location leaves the current one running; deleting the current one ends its
// updates, empties what is shown of it and announces that no location is current. The next
// selection runs only its own place.
TEST_F(LocationServiceTest, DeletingTheCurrentLocationEndsItsUpdatesAndEmptiesTheModels) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    testsupport::LogCapture log;
    e2e::PropertyJournal journal;
    e2e::LoopbackNws nws;
    nws.serve(AUSTIN);
    nws.serve(DENVER);
    listPlaces();
    std::string error;
    ASSERT_TRUE(select(AUSTIN, error)) << error;
    const auto forecastItems = [this] {
        std::vector<ForecastItem_t*> items;
        service.getForecastModel()->getForecastItems(items);
        const std::size_t count = items.size();
        for (ForecastItem_t* item : items) {
            delete item;
        }
        return count;
    };
    const auto alertCount = [this] {
        AlertModel::AlertList alerts;
        service.getAlertModel()->getAlertItems(alerts);
        return alerts.size();
    };
    // The weather, the forecast and the two alerts of the place are in.
    ASSERT_TRUE(e2e::waitUntil([&] {
        return !journal.last(PROP_WEATHER).empty() && forecastItems() > 0 && alertCount() == 2;
    }));

    EXPECT_TRUE(service.deleteLocation(nameOf(DENVER)));
    ASSERT_NE(service.getCurrentLocation(), nullptr);
    EXPECT_EQ(service.getCurrentLocation()->displayName, nameOf(AUSTIN));
    EXPECT_NE(service.getCurrentConditionsModel()->getProviderPtr(), nullptr);

    const int resets = journal.count(PROP_CONDITIONS_RESET);
    const int expiries = journal.count(PROP_ALERTS_EXPIRED);
    EXPECT_TRUE(service.deleteLocation(nameOf(AUSTIN)));
    EXPECT_EQ(service.getCurrentLocation(), nullptr);
    EXPECT_EQ(journal.last(PROP_CURRENT_LOCATION), "");
    EXPECT_EQ(journal.count(PROP_CONDITIONS_RESET), resets + 1);
    EXPECT_EQ(journal.count(PROP_ALERTS_EXPIRED), expiries + 1);
    EXPECT_EQ(service.getCurrentConditionsModel()->getLocation(), "");
    EXPECT_EQ(forecastItems(), 0u);
    EXPECT_EQ(alertCount(), 0u);
    EXPECT_EQ(service.getCurrentConditionsModel()->getProviderPtr(), nullptr);
    EXPECT_EQ(service.getForecastModel()->getProviderPtr(), nullptr);
    EXPECT_EQ(service.getAlertModel()->getProviderPtr(), nullptr);
    EXPECT_TRUE(log.contains("TaskScheduler is shutdown."));

    // Listed again and chosen, another place runs alone: nothing asks for the deleted one.
    service.addLocation(DENVER.location(suffix));
    const std::size_t mark = nws.mark();
    ASSERT_TRUE(select(DENVER, error)) << error;
    ASSERT_TRUE(e2e::waitUntil([&] {
        return nws.requestsSince(mark, DENVER.forecastTarget()) == 1 &&
               nws.requestsSince(mark, DENVER.alertTarget()) == 1 &&
               nws.requestsSince(mark, DENVER.observationTarget()) == 2;
    }));
    for (const std::string& target :
         {AUSTIN.observationTarget(), AUSTIN.forecastTarget(), AUSTIN.alertTarget()}) {
        EXPECT_EQ(nws.requestsSince(mark, target), 0) << target;
    }
}

// A failed check leaves the previous location current and its tasks running on its own copy of
// the location, which its station retry handler reads.
TEST_F(LocationServiceTest, AFailedSelectionKeepsThePreviousLocationRunning) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    testsupport::LogCapture log;
    e2e::LoopbackNws nws;
    nws.serve(AUSTIN);
    nws.serve(DENVER);
    listPlaces();
    std::string error;
    ASSERT_TRUE(select(AUSTIN, error));
    const Location_t* austin = service.getCurrentLocation();
    ASSERT_TRUE(
        e2e::waitUntil([&] { return nws.requestsSince(0, AUSTIN.observationTarget()) == 2; }));

    struct Case {
        const char* name;
        const e2e::Place& place;
        std::string failingTarget;  // answered with 404
        std::vector<std::string> requested;
        std::vector<std::string> notRequested;
    };
    const std::vector<Case> cases = {
        {"station without observations",
         TAMPA,
         TAMPA.observationTarget(),
         {TAMPA.observationTarget()},
         {TAMPA.zipLookupTarget()}},
        {"zip code without position",
         DENVER,
         DENVER.zipLookupTarget(),
         {DENVER.observationTarget(), DENVER.zipLookupTarget()},
         {DENVER.forecastTarget()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nws.server.addRoute(c.failingTarget, testsupport::HttpTestServer::status(404));
        log.clear();
        const std::size_t mark = nws.mark();
        error.clear();
        EXPECT_FALSE(select(c.place, error));
        EXPECT_EQ(error, kSelectionError);
        EXPECT_EQ(service.getCurrentLocation(), austin);
        for (const std::string& target : c.requested) {
            EXPECT_EQ(nws.requestsSince(mark, target), 1) << target;
        }
        for (const std::string& target : c.notRequested) {
            EXPECT_EQ(nws.requestsSince(mark, target), 0) << target;
        }
        EXPECT_FALSE(log.contains("TaskScheduler is shutdown."));
    }

    // The old tasks still run: with its own station gone, the current conditions turn to the
    // alternate that the retry handler finds from the old location's position.
    const std::size_t mark = nws.mark();
    nws.server.addRoute(AUSTIN.observationTarget(), testsupport::HttpTestServer::status(404));
    TaskScheduler::instance().forceRun();
    ASSERT_TRUE(e2e::waitUntil([&] {
        return nws.requestsSince(mark, AUSTIN.alternateTarget()) == 1 &&
               nws.requestsSince(mark, AUSTIN.alertTarget()) == 1;
    }));
}

TEST_F(LocationServiceTest, AFailedFirstSelectionStaysCurrentAndCanBeRetried) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    e2e::LoopbackNws nws;
    listPlaces();
    std::string error;
    nws.server.addRoute(TAMPA.observationTarget(), testsupport::HttpTestServer::status(503));
    EXPECT_FALSE(select(TAMPA, error));
    EXPECT_EQ(error, kSelectionError);
    ASSERT_NE(service.getCurrentLocation(), nullptr);
    EXPECT_EQ(service.getCurrentLocation()->displayName, nameOf(TAMPA));

    nws.serve(TAMPA);
    const std::size_t mark = nws.mark();
    EXPECT_TRUE(select(TAMPA, error));
    EXPECT_EQ(nws.requestsSince(mark, TAMPA.zipLookupTarget()), 1);
    ASSERT_TRUE(e2e::waitUntil([&] { return nws.requestsSince(mark, TAMPA.alertTarget()) == 1; }));
}

// A scheduling pass during the selection must not queue the current conditions beside their
// forced run: the second run would find the observation unchanged and publish an alternate
// station's instead of the location's own.
TEST_F(LocationServiceTest, ASelectionRunsEveryTaskOnceThoughTheSchedulerPassesMeanwhile) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    testsupport::LogCapture log;
    e2e::PropertyJournal journal;
    SchedulerClock clock(QTime(10, 30, 0));
    // The alerts are scheduled last, after the current conditions and before the forced run.
    PauseAfterLogLine pause("Second Task <Alert Update> added");
    e2e::LoopbackNws nws;
    nws.serve(DENVER);
    listPlaces();

    std::string error;
    ASSERT_TRUE(select(DENVER, error)) << error;
    // The forced runs go in list order: conditions, forecast, alerts.
    ASSERT_TRUE(e2e::waitUntil([&] {
        return log.contains("task <Alert Update> completed successfully");
    })) << log.text();
    EXPECT_EQ(nws.requestsSince(0, DENVER.observationTarget()), 2) << "the test and one run";
    EXPECT_EQ(nws.requestsSince(0, DENVER.alternateTarget()), 0);
    EXPECT_EQ(nws.requestsSince(0, DENVER.forecastTarget()), 1);
    EXPECT_EQ(journal.last(PROP_LOCATION), "Denver, Rocky Mountain Metropolitan Airport, CO");
    EXPECT_FALSE(log.contains("Current conditions is old")) << log.text();
}

// At start the saved location is restored even while the service is down: it stays current,
// its tasks are scheduled, and their retries bring its weather once the service answers; the
// forecast looks its position up then, as none is known yet.
TEST_F(LocationServiceTest, ARestoredLocationKeepsItsTasksWhileTheServiceIsDown) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    testsupport::LogCapture log;
    e2e::PropertyJournal journal;
    e2e::LoopbackNws nws;
    listPlaces();
    TaskScheduler::instance().setRetryTime(1);
    struct RetryTime {
        ~RetryTime() { TaskScheduler::instance().setRetryTime(15); }
    } restoreRetryTime;

    std::string error;
    EXPECT_FALSE(service.restoreCurrentLocation(nameOf(TAMPA), error));
    EXPECT_EQ(error, kSelectionError);
    ASSERT_NE(service.getCurrentLocation(), nullptr);
    EXPECT_EQ(service.getCurrentLocation()->displayName, nameOf(TAMPA));
    EXPECT_EQ(journal.last(PROP_CURRENT_LOCATION), nameOf(TAMPA));
    EXPECT_EQ(nws.requestsSince(0, TAMPA.zipLookupTarget()), 0)
        << "no position lookup while the station does not answer";
    // The forced runs try every feed at once.
    ASSERT_TRUE(e2e::waitUntil([&] {
        return nws.requestsSince(0, TAMPA.observationTarget()) >= 2 &&
               nws.requestsSince(0, TAMPA.zipLookupTarget()) >= 1 &&
               nws.requestsSince(0, TAMPA.alertTarget()) >= 1;
    }));

    // The same name chosen in the options is current already: no second check.
    const std::size_t beforeChoice = nws.mark();
    EXPECT_TRUE(service.setCurrentLocation(nameOf(TAMPA), error));
    EXPECT_EQ(nws.mark(), beforeChoice);

    nws.serve(TAMPA);
    ASSERT_TRUE(e2e::waitUntil([&] {
        return journal.last(PROP_LOCATION) == "Tampa, Peter O Knight Airport, FL" &&
               !journal.last(PROP_FORECAST_HI_LO).empty();
    })) << log.text();
    EXPECT_GE(nws.requestsSince(0, TAMPA.forecastTarget()), 1);

    // A new choice whose station does not answer is still refused.
    nws.server.addRoute(AUSTIN.observationTarget(), testsupport::HttpTestServer::status(503));
    EXPECT_FALSE(select(AUSTIN, error));
    EXPECT_EQ(service.getCurrentLocation()->displayName, nameOf(TAMPA));
}

}  // namespace
