#include "weather/AlertModel.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"

namespace vpcore {

namespace {

// How many alerts of a new or changed list are dumped into the log, one by one.
constexpr std::size_t kMaxLoggedAlerts = 10;

std::int64_t systemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool holdsEqual(const AlertModel::AlertList& list, const std::shared_ptr<Alert_t>& alert) {
    return std::any_of(list.begin(), list.end(), [&alert](const std::shared_ptr<Alert_t>& other) {
        return isEqual(alert, other);
    });
}

}  // namespace

AlertModel::AlertModel() : AlertModel(Clock(systemSeconds)) {}

AlertModel::AlertModel(Clock clock) : clock(clock ? std::move(clock) : Clock(systemSeconds)) {
    NotificationService::Instance().registerPropertyIds(
        {PROP_ALERTS_CHANGED, PROP_ALERTS_EXPIRED, PROP_ALERT_NEW});
}

AlertModel::~AlertModel() {
    NotificationService::Instance().unRegisterPropertyIds(
        {PROP_ALERTS_CHANGED, PROP_ALERTS_EXPIRED, PROP_ALERT_NEW});
}

bool AlertModel::performTask() {
    return getProvider().update(this);
}

std::string AlertModel::getTaskName() const {
    return "Alert Update";
}

bool AlertModel::contributesToProgressBar() const {
    return false;
}

std::string AlertModel::getDescription() const {
    return std::string();
}

void AlertModel::assignAlerts(const AlertList& givenAlerts) {
    // An empty slot is no alert; the panel and the cache key would read through it.
    AlertList newAlerts;
    std::copy_if(givenAlerts.begin(), givenAlerts.end(), std::back_inserter(newAlerts),
                 [](const std::shared_ptr<Alert_t>& alert) { return alert != nullptr; });

    std::lock_guard<std::recursive_mutex> lock(mutex);
    alertsExpired = !alerts.empty() && newAlerts.empty();
    alertsChanged = haveAlertsChanged(newAlerts);
    keepWhatTheUserHasSeen(newAlerts);
    alerts = newAlerts;
    // Forget first: after a long pause (a suspended machine) the first run must not count an
    // alert as known whose time ran out while nothing ran.
    cleanAlertCache(kAlertCacheMaxAge);
    // Before the cache learns the new keys, so that alerts first seen now count as new.
    notifyAlertAvailable();
    const std::int64_t now = clock();
    for (const std::shared_ptr<Alert_t>& alert : newAlerts) {
        alertCache[makeAlertCacheKey(alert)] = now;
    }
}

void AlertModel::getAlertItems(AlertList& out) const {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    out = alerts;
}

bool AlertModel::isCacheEntryStale(std::int64_t lastSeen, std::int64_t now, long maxAge) {
    return now - lastSeen > maxAge;
}

bool AlertModel::haveAlertsChanged(const AlertList& newAlerts) const {
    if (newAlerts.size() != alerts.size()) {
        return true;
    }
    for (const std::shared_ptr<Alert_t>& alert : newAlerts) {
        if (!holdsEqual(alerts, alert)) {
            return true;
        }
    }
    for (const std::shared_ptr<Alert_t>& alert : alerts) {
        if (!holdsEqual(newAlerts, alert)) {
            return true;
        }
    }
    return false;
}

bool AlertModel::areNewAlerts() const {
    return std::any_of(alerts.begin(), alerts.end(), [this](const std::shared_ptr<Alert_t>& a) {
        return alertCache.find(makeAlertCacheKey(a)) == alertCache.end();
    });
}

void AlertModel::notifyAlertAvailable() {
    Logger& logger = Logger::Instance();
    NotificationService& notifications = NotificationService::Instance();
    if (alertsExpired) {
        logger.log("INFO", "Weather alert(s) have expired.");
        notifications.notify(PROP_ALERTS_EXPIRED);
    } else if (alertsChanged) {
        if (areNewAlerts()) {
            logger.log("INFO", "New weather alert!!!");
            notifications.notify(PROP_ALERT_NEW);
        }
        logger.log("INFO", "New or changed alert(s) available:");
        // A feed of thousands of entries would push everything else out of the log: the
        // first few are dumped, the rest counted.
        const std::size_t listed = std::min(alerts.size(), kMaxLoggedAlerts);
        for (std::size_t number = 1; number <= listed; ++number) {
            logger.log("INFO", "Alert " + std::to_string(number));
            logger.log("INFO", alerts[number - 1]->toString());
        }
        if (alerts.size() > listed) {
            logger.log("INFO", std::to_string(alerts.size() - listed) + " more alert(s) of " +
                                   std::to_string(alerts.size()) + " not logged.");
        }
        notifications.notify(PROP_ALERTS_CHANGED);
    } else {
        logger.log("INFO", "No new weather alerts.");
    }
}

std::string AlertModel::makeAlertCacheKey(const std::shared_ptr<Alert_t>& alert) {
    return alert->id + alert->summary;
}

void AlertModel::cleanAlertCache(long maxAge) {
    const std::int64_t now = clock();
    for (auto entry = alertCache.begin(); entry != alertCache.end();) {
        if (isCacheEntryStale(entry->second, now, maxAge)) {
            entry = alertCache.erase(entry);
        } else {
            ++entry;
        }
    }
}

// Every run brings fresh records; without this the panel's viewed flags and fetched details
// would vanish each time the feed is read again, and a sound that repeats until the alerts
// are viewed would never stop for a user who reads longer than one refresh.
void AlertModel::keepWhatTheUserHasSeen(const AlertList& newAlerts) const {
    for (const std::shared_ptr<Alert_t>& fresh : newAlerts) {
        for (const std::shared_ptr<Alert_t>& held : alerts) {
            if (fresh == held || !isEqual(fresh, held)) {
                continue;
            }
            if (held->viewed) {
                fresh->viewed = true;
            }
            if (!fresh->hasDescription()) {
                fresh->setDescription(held->getDescription());
            }
            break;
        }
    }
}

}  // namespace vpcore
