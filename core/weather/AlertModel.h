// The weather alerts in force for the current location, and the judge of what a new list means:
// alerts expired (24), a new alert (23), new or changed alerts (22). Runs as a scheduled task on
// the runner thread; the GUI thread reads the list with getAlertItems.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "services/IScheduledTask.h"
#include "services/VpCoreExport.h"
#include "weather/Alert_t.h"
#include "weather/IWeatherModel.h"

namespace vpcore {

class VPCORE_EXPORT AlertModel : public IScheduledTask, public IWeatherModel {
public:
    typedef std::vector<std::shared_ptr<Alert_t>> AlertList;
    // Seconds since the epoch.
    typedef std::function<std::int64_t()> Clock;

    // How long an alert stays known after the last list that held it: one that comes back
    // within this time is not new again.
    static constexpr long kAlertCacheMaxAge = 172800;  // 48 hours, in seconds
    // The most alerts the cache remembers, far above what real feeds bring in two days; past
    // it the longest unseen are forgotten (a WARN says how many), so that a feed whose ids
    // change every round cannot grow it for two days.
    static constexpr std::size_t kAlertCacheMaxEntries = 20000;

    // Both register the property ids 22, 23 and 24 (std::invalid_argument when one of them is
    // registered already); the destructor unregisters them. The clock dates the seen alerts;
    // the first constructor uses the system clock.
    AlertModel();
    explicit AlertModel(Clock clock);
    ~AlertModel() override;

    // Asks the provider to read the feed; it hands the list to assignAlerts.
    bool performTask() override;
    std::string getTaskName() const override;
    bool contributesToProgressBar() const override;
    std::string getDescription() const override;

    // Replaces the list (feed order) and announces what changed. Listeners are called on this
    // thread with the model's lock held; they may call getAlertItems. An alert equal to one
    // already held keeps that one's viewed flag and details.
    void assignAlerts(const AlertList& newAlerts);
    // Replaces out's content with the current alerts (shared, not copied).
    void getAlertItems(AlertList& out) const;

    // The cache rule: an entry last seen at lastSeen is dropped at now when older than maxAge.
    static bool isCacheEntryStale(std::int64_t lastSeen, std::int64_t now, long maxAge);
    // How many alerts the cache remembers now.
    std::size_t alertCacheSize() const;

private:
    bool haveAlertsChanged(const AlertList& newAlerts,
                           const std::vector<std::string>& newKeys) const;
    bool areNewAlerts() const;
    void notifyAlertAvailable();
    static std::string makeAlertCacheKey(const std::shared_ptr<Alert_t>& alert);
    void cleanAlertCache(long maxAge);
    void boundAlertCache(std::size_t maxEntries);
    void keepWhatTheUserHasSeen(const AlertList& newAlerts,
                                const std::vector<std::string>& newKeys) const;

    AlertList alerts;
    std::vector<std::string> alertKeys;  // Alert_t::identityKey of each of alerts, read once
    std::map<std::string, std::int64_t> alertCache;  // key -> last seen, seconds since epoch
    mutable std::recursive_mutex mutex;  // guards alerts, alertKeys, alertCache and the two flags
    bool alertsExpired = false;
    bool alertsChanged = false;
    Clock clock;
};

}  // namespace vpcore
