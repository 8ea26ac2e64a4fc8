// The whole core against the loopback NWS: a location is made current, every published value
// arrives on the scheduler's threads, the forecast handler is called, the alerts are announced
// and one alert's details fetched; a second location then takes everything over, and nothing
// of the first runs again.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "LoopbackNws.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "weather/AlertModel.h"
#include "weather/AlertModelDetailsRetriever.h"
#include "weather/LocationService.h"
#include "weather/TemperatureInterpolater.h"

using namespace vpcore;
using e2e::AUSTIN;
using e2e::DENVER;

namespace {

// What a location change publishes when every value of the new place differs from the old:
// the observation (0-16, 18), its reset (28), the current location (17), the forecast's next
// extreme (29). Provider logo, link and links stay empty for the NWS and are not re-announced.
const std::set<short> kObservationIds = {0,  1,  2,  3,  4,  5,  6,  7,  8, 9,
                                         10, 11, 12, 13, 14, 15, 16, 18, 28};

std::set<short> with(std::set<short> ids, const std::set<short>& more) {
    ids.insert(more.begin(), more.end());
    return ids;
}

std::string show(const std::set<short>& ids) {
    std::string text;
    for (short id : ids) {
        text += std::to_string(id) + " ";
    }
    return text;
}

class EndToEndTest : public ::testing::Test {
protected:
    void TearDown() override { TaskScheduler::instance().shutdown(); }
};

TEST_F(EndToEndTest, ALocationChangeSwapsEveryFeedOverCleanly) {
    SKIP_FETCH_TESTS_UNDER_TSAN();
    // Declared before the loopback NWS, whose end stops the scheduler, they outlive its threads.
    testsupport::LogCapture log;
    e2e::PropertyJournal journal;
    // The desktop program keeps one interpolater for its whole life, across location changes.
    TemperatureInterpolater interpolater;
    e2e::LoopbackNws nws;
    nws.serve(AUSTIN);
    nws.serve(DENVER);
    LocationService& service = LocationService::Instance();
    const int forecastsBefore = e2e::forecastHandlerCalls();

    service.setLocations({AUSTIN.location("e2e"), DENVER.location("e2e")});
    std::string error;
    ASSERT_TRUE(service.setCurrentLocation(AUSTIN.location("e2e").displayName, error)) << error;

    const std::set<short> austinIds =
        with(kObservationIds,
             {PROP_CURRENT_LOCATION, PROP_FORECAST_HI_LO, PROP_ALERTS_CHANGED, PROP_ALERT_NEW});
    EXPECT_TRUE(e2e::waitUntil([&] {
        return journal.ids() == austinIds && e2e::forecastHandlerCalls() == forecastsBefore + 1;
    })) << "heard: "
        << show(journal.ids());
    EXPECT_EQ(journal.last(PROP_LOCATION), "Austin City, Austin Camp Mabry, TX");
    EXPECT_EQ(journal.last(PROP_TEMP_F), "64");
    EXPECT_EQ(journal.last(PROP_PRESSURE_MB), "1017");
    EXPECT_EQ(journal.last(PROP_WIND_DIR), "S");
    EXPECT_EQ(journal.last(PROP_ICON_URL), nws.server.url("/images/wtf/small/bkn.png"));
    EXPECT_EQ(journal.last(PROP_FORECAST_HI_LO), "78 Hi");
    EXPECT_EQ(journal.count(PROP_ALERT_NEW), 1);
    AlertModel::AlertList alerts;
    service.getAlertModel()->getAlertItems(alerts);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_NE(alerts[0]->title.find("Wind Advisory"), std::string::npos);

    // The alert panel's request for an alert's full text: a one-shot task that follows the
    // feed's link to the CAP document. The panel registers the event it announces.
    NotificationService& notifications = NotificationService::Instance();
    const bool detailsRegistered =
        notifications.getRegisteredPropertyIds().count(PROP_ALERT_DETAILS) > 0;
    if (!detailsRegistered) {
        notifications.registerPropertyIds({PROP_ALERT_DETAILS});
    }
    TaskScheduler::instance().queueTask(new AlertModelDetailsRetriever(alerts[1]));
    EXPECT_TRUE(e2e::waitUntil([&] { return journal.count(PROP_ALERT_DETAILS) == 1; }));
    if (!detailsRegistered) {
        notifications.unRegisterPropertyIds({PROP_ALERT_DETAILS});
    }
    ASSERT_NE(alerts[1]->description, nullptr);
    EXPECT_EQ(alerts[1]->description->event, "Flood Watch");
    EXPECT_NE(alerts[1]->description->description.find("INCLUDING TRAVIS"), std::string::npos);

    // The second location: everything changes over, the alerts expire, and after the change no
    // request of the first location reaches the server.
    journal.clear();
    ASSERT_TRUE(service.setCurrentLocation(DENVER.location("e2e").displayName, error)) << error;
    const std::size_t mark = nws.mark();
    const std::set<short> denverIds =
        with(kObservationIds, {PROP_CURRENT_LOCATION, PROP_FORECAST_HI_LO, PROP_ALERTS_EXPIRED});
    EXPECT_TRUE(e2e::waitUntil([&] {
        return journal.ids() == denverIds && e2e::forecastHandlerCalls() == forecastsBefore + 2;
    })) << "heard: "
        << show(journal.ids());
    EXPECT_EQ(journal.last(PROP_LOCATION), "Denver, Rocky Mountain Metropolitan Airport, CO");
    EXPECT_EQ(journal.last(PROP_FORECAST_HI_LO), "14 Lo");
    service.getAlertModel()->getAlertItems(alerts);
    EXPECT_TRUE(alerts.empty());

    // Once more every task of the new location, then the request log.
    TaskScheduler::instance().forceRun();
    ASSERT_TRUE(e2e::waitUntil([&] {
        return nws.requestsSince(mark, DENVER.alertTarget()) == 2 &&
               nws.requestsSince(mark, DENVER.forecastTarget()) == 2;
    }));
    for (const std::string& target :
         {AUSTIN.observationTarget(), AUSTIN.alternateTarget(), AUSTIN.zipLookupTarget(),
          AUSTIN.forecastTarget(), AUSTIN.alertTarget()}) {
        EXPECT_EQ(nws.requestsSince(mark, target), 0) << target;
    }
    // The interpolater's schedule survived both changes.
    log.clear();
    TaskScheduler::instance().isTaskComplete(interpolater.getTaskId());
    EXPECT_FALSE(log.contains("Could not find task with id")) << log.text();
}

}  // namespace
