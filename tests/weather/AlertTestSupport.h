// Helpers of the alert tests: a listener that writes down the alert events in the order they
// arrive, and the log read back as whole messages (a message may span several lines).
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "services/IPropertyChangeListener.h"
#include "services/NotificationService.h"
#include "weather/Alert_t.h"

namespace alerttest {

class EventRecorder : public vpcore::NoPropertyChangeListener {
public:
    explicit EventRecorder(const std::set<short>& ids) : ids(ids) {
        vpcore::NotificationService::Instance().addPropertyChangeListener<int>(this, ids);
    }
    ~EventRecorder() override {
        vpcore::NotificationService::Instance().removePropertyChangeListener<int>(this, ids);
    }
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;

    void handlePropertyChange(short propId, const int* const, const int* const) override {
        std::lock_guard<std::mutex> lock(mutex);
        heard.push_back(propId);
    }
    // The events heard since the last call.
    std::vector<short> take() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<short> events;
        events.swap(heard);
        return events;
    }
    int count(short id) const {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (short heardId : heard) {
            n += heardId == id ? 1 : 0;
        }
        return n;
    }

private:
    const std::set<short> ids;
    mutable std::mutex mutex;
    std::vector<short> heard;
};

// The messages of the captured log lines of one level, in order. A line without a level
// marker continues the message before it.
inline std::vector<std::string> messages(const testsupport::LogCapture& log,
                                         const std::string& level = "INFO") {
    std::vector<std::string> result;
    bool inLevel = false;
    for (const std::string& line : log.lines()) {
        const std::string marker = " " + level + ": ";
        const std::size_t at = line.find(marker);
        const bool anyLevel = line.find(" INFO: ") != std::string::npos ||
                              line.find(" WARN: ") != std::string::npos ||
                              line.find(" ERROR: ") != std::string::npos;
        if (at != std::string::npos) {
            result.push_back(line.substr(at + marker.size()));
            inLevel = true;
        } else if (anyLevel) {
            inLevel = false;
        } else if (inLevel && !result.empty()) {
            result.back() += "\n" + line;
        }
    }
    return result;
}

inline std::shared_ptr<vpcore::Alert_t> makeAlert(const std::string& id,
                                                  const std::string& published,
                                                  const std::string& summary = "SUMMARY") {
    auto alert = std::make_shared<vpcore::Alert_t>(id);
    alert->title = "Title of " + id;
    alert->updated = published;
    alert->published = published;
    alert->effective = published;
    alert->expires = "2026-12-11T06:00:00-06:00";
    alert->summary = summary;
    return alert;
}

}  // namespace alerttest
