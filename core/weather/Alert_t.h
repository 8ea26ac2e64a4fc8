// One active weather alert from the county alert feed. The alert model shares these records
// with the alert panel (GUI thread), which sets viewed, and with the details retriever
// (runner thread), which attaches the description. The feed's fields are written only before
// the record is shared; viewed is atomic and the description is handed over under a lock of
// its own (setDescription, getDescription, hasDescription).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "services/VpCoreExport.h"
#include "weather/AlertDescription_t.h"

namespace vpcore {

struct VPCORE_EXPORT Alert_t {
    explicit Alert_t(const std::string& id);
    // A copy carries its own copy of the details; the source keeps its own.
    Alert_t(const Alert_t& other);
    Alert_t& operator=(const Alert_t& other);
    // Moving hands the details over and leaves the source without them.
    Alert_t(Alert_t&& other) noexcept;
    Alert_t& operator=(Alert_t&& other) noexcept;
    ~Alert_t();

    // The same alert: the same id and the same published time. Time stamps that name the same
    // instant in different spellings ("Z", "+00:00", "-00:00") count as the same.
    bool operator==(const Alert_t& other) const;
    bool operator!=(const Alert_t& other) const { return !(*this == other); }

    // What makes two alerts equal in one text: the id and the published instant (the time
    // stamp as written when it is no time). Equal keys, equal alerts; a list is matched
    // against another through these in one pass, each time stamp read once.
    std::string identityKey() const;

    // Every field on a line of its own, for the log.
    std::string toString() const;
    // Title, times and optionally the summary wrapped to width columns, then optionally the
    // details. Never throws: on a failure the text comes back unwrapped.
    std::string toDisplayString(unsigned int width, bool withSummary, bool withDescription) const;

    // Any thread: the details, or null to drop them; a copy of them (null when there are
    // none); whether there are any.
    void setDescription(std::unique_ptr<AlertDescription_t> details);
    std::unique_ptr<AlertDescription_t> getDescription() const;
    bool hasDescription() const;

    std::string id;  // the address of the alert's full CAP document
    std::string summary;
    std::string title;
    std::string updated;  // time stamps as the feed writes them
    std::string published;
    std::string effective;
    std::string expires;
    std::atomic<bool> viewed;  // set by the alert panel when it has shown the alert
    // Null until retrieved. Read and written directly only while the record is not shared;
    // once it is, through the accessors above.
    std::unique_ptr<AlertDescription_t> description;

private:
    mutable std::mutex descriptionLock;  // guards description
};

// True when both are set and the alerts are equal.
VPCORE_EXPORT bool isEqual(const std::shared_ptr<Alert_t>& a, const std::shared_ptr<Alert_t>& b);

}  // namespace vpcore
