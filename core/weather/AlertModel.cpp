#include "weather/AlertModel.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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

// The identity keys of a list, in its order.
std::vector<std::string> identityKeys(const AlertModel::AlertList& list) {
    std::vector<std::string> keys;
    keys.reserve(list.size());
    for (const std::shared_ptr<Alert_t>& alert : list) {
        keys.push_back(alert->identityKey());
    }
    return keys;
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

    // Each time stamp is read once, here; the keys are kept beside the alerts for the next list.
    std::vector<std::string> newKeys = identityKeys(newAlerts);

    std::lock_guard<std::recursive_mutex> lock(mutex);
    alertsExpired = !alerts.empty() && newAlerts.empty();
    alertsChanged = haveAlertsChanged(newAlerts, newKeys);
    keepWhatTheUserHasSeen(newAlerts, newKeys);
    alerts = newAlerts;
    alertKeys = std::move(newKeys);
    // Forget first: after a long pause (a suspended machine) the first run must not count an
    // alert as known whose time ran out while nothing ran.
    cleanAlertCache(kAlertCacheMaxAge);
    // Before the cache learns the new keys, so that alerts first seen now count as new.
    notifyAlertAvailable();
    const std::int64_t now = clock();
    for (const std::shared_ptr<Alert_t>& alert : newAlerts) {
        alertCache[makeAlertCacheKey(alert)] = now;
    }
    boundAlertCache(kAlertCacheMaxEntries);
}

std::size_t AlertModel::alertCacheSize() const {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return alertCache.size();
}

void AlertModel::getAlertItems(AlertList& out) const {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    out = alerts;
}

bool AlertModel::isCacheEntryStale(std::int64_t lastSeen, std::int64_t now, long maxAge) {
    return now - lastSeen > maxAge;
}

bool AlertModel::haveAlertsChanged(const AlertList& newAlerts,
                                   const std::vector<std::string>& newKeys) const {
    if (newAlerts.size() != alerts.size()) {
        return true;
    }
    // Every alert of each list has an equal one in the other: the same sets of keys.
    const std::unordered_set<std::string> held(alertKeys.begin(), alertKeys.end());
    const std::unordered_set<std::string> fresh(newKeys.begin(), newKeys.end());
    return held != fresh;
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

void AlertModel::boundAlertCache(std::size_t maxEntries) {
    if (alertCache.size() <= maxEntries) {
        return;
    }
    // The last-seen time below which entries go: the one of the entry that fits no more.
    std::vector<std::int64_t> seen;
    seen.reserve(alertCache.size());
    for (const auto& entry : alertCache) {
        seen.push_back(entry.second);
    }
    const std::size_t excess = alertCache.size() - maxEntries;
    std::nth_element(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(excess - 1),
                     seen.end());
    const std::int64_t cut = seen[excess - 1];
    std::size_t forgotten = 0;
    for (auto entry = alertCache.begin(); entry != alertCache.end() && forgotten < excess;) {
        if (entry->second <= cut) {
            entry = alertCache.erase(entry);
            ++forgotten;
        } else {
            ++entry;
        }
    }
    Logger::Instance().log("WARN", "The alert cache holds at most " + std::to_string(maxEntries) +
                                       " alerts: the " + std::to_string(forgotten) +
                                       " seen longest ago are forgotten and count as new if "
                                       "they come back.");
}

// Every run brings fresh records; without this the panel's viewed flags and fetched details
// would vanish each time the feed is read again, and a sound that repeats until the alerts
// are viewed would never stop for a user who reads longer than one refresh.
void AlertModel::keepWhatTheUserHasSeen(const AlertList& newAlerts,
                                        const std::vector<std::string>& newKeys) const {
    // Per key the first two distinct held records: a fresh record that is itself held takes
    // its state from the other one, as a search in list order would.
    std::unordered_map<std::string, std::pair<Alert_t*, Alert_t*>> heldByKey;
    heldByKey.reserve(alerts.size());
    for (std::size_t i = 0; i < alerts.size(); ++i) {
        Alert_t* const held = alerts[i].get();
        auto& slot =
            heldByKey.emplace(alertKeys[i], std::pair<Alert_t*, Alert_t*>(nullptr, nullptr))
                .first->second;
        if (slot.first == nullptr) {
            slot.first = held;
        } else if (slot.second == nullptr && slot.first != held) {
            slot.second = held;
        }
    }
    for (std::size_t i = 0; i < newAlerts.size(); ++i) {
        const std::shared_ptr<Alert_t>& fresh = newAlerts[i];
        const auto found = heldByKey.find(newKeys[i]);
        if (found == heldByKey.end()) {
            continue;
        }
        Alert_t* const held =
            found->second.first != fresh.get() ? found->second.first : found->second.second;
        if (held == nullptr) {
            continue;
        }
        if (held->viewed) {
            fresh->viewed = true;
        }
        if (!fresh->hasDescription()) {
            fresh->setDescription(held->getDescription());
        }
    }
}

}  // namespace vpcore
