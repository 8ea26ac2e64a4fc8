#include "weather/Alert_t.h"

#include <QDateTime>
#include <QString>
#include <exception>

#include "services/Logger.h"
#include "services/StringUtils.h"

namespace vpcore {

namespace {

std::unique_ptr<AlertDescription_t> copyOf(const std::unique_ptr<AlertDescription_t>& details) {
    return details ? std::make_unique<AlertDescription_t>(*details) : nullptr;
}

// Feeds have written the same instant as "...+00:00", "...-00:00" and "...Z"; only a real
// change of the time may make an alert a different one.
bool sameTimeStamp(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    const QDateTime first = QDateTime::fromString(QString::fromStdString(a), Qt::ISODate);
    const QDateTime second = QDateTime::fromString(QString::fromStdString(b), Qt::ISODate);
    return first.isValid() && second.isValid() && first.toUTC() == second.toUTC();
}

// One spelling per instant: the milliseconds since the epoch, or the text itself when it is
// no time. The prefixes keep the two kinds apart.
std::string canonicalTimeStamp(const std::string& stamp) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(stamp), Qt::ISODate);
    return time.isValid() ? "t" + std::to_string(time.toMSecsSinceEpoch()) : "s" + stamp;
}

}  // namespace

Alert_t::Alert_t(const std::string& id) : id(id), viewed(false) {}

Alert_t::Alert_t(const Alert_t& other)
    : id(other.id),
      summary(other.summary),
      title(other.title),
      updated(other.updated),
      published(other.published),
      effective(other.effective),
      expires(other.expires),
      viewed(other.viewed.load()),
      description(other.getDescription()) {}

Alert_t& Alert_t::operator=(const Alert_t& other) {
    if (this != &other) {
        id = other.id;
        summary = other.summary;
        title = other.title;
        updated = other.updated;
        published = other.published;
        effective = other.effective;
        expires = other.expires;
        viewed = other.viewed.load();
        setDescription(other.getDescription());
    }
    return *this;
}

Alert_t::Alert_t(Alert_t&& other) noexcept
    : id(std::move(other.id)),
      summary(std::move(other.summary)),
      title(std::move(other.title)),
      updated(std::move(other.updated)),
      published(std::move(other.published)),
      effective(std::move(other.effective)),
      expires(std::move(other.expires)),
      viewed(other.viewed.load()) {
    const std::lock_guard<std::mutex> lock(other.descriptionLock);
    description = std::move(other.description);
}

Alert_t& Alert_t::operator=(Alert_t&& other) noexcept {
    if (this != &other) {
        id = std::move(other.id);
        summary = std::move(other.summary);
        title = std::move(other.title);
        updated = std::move(other.updated);
        published = std::move(other.published);
        effective = std::move(other.effective);
        expires = std::move(other.expires);
        viewed = other.viewed.load();
        std::unique_ptr<AlertDescription_t> details;
        {
            const std::lock_guard<std::mutex> lock(other.descriptionLock);
            details = std::move(other.description);
        }
        setDescription(std::move(details));
    }
    return *this;
}

Alert_t::~Alert_t() = default;

bool Alert_t::operator==(const Alert_t& other) const {
    return id == other.id && sameTimeStamp(published, other.published);
}

std::string Alert_t::identityKey() const {
    // The id is a URL and holds no NUL.
    return id + '\0' + canonicalTimeStamp(published);
}

std::string Alert_t::toString() const {
    return "ID: " + id + "\n" + "TITLE: " + title + "\n" + "UPDATED: " + updated + "\n" +
           "PUBLISHED: " + published + "\n" + "EFFECTIVE: " + effective + "\n" +
           "EXPIRES: " + expires + "\n" + "SUMMARY: " + summary + "\n";
}

std::string Alert_t::toDisplayString(unsigned int width, bool withSummary,
                                     bool withDescription) const {
    std::string raw = title + "\n" + "UPDATED: " + updated + "\n" + "PUBLISHED: " + published +
                      "\n" + "EFFECTIVE: " + effective + "\n" + "EXPIRES: " + expires + "\n";
    if (withSummary) {
        raw += summary + "\n";
    }
    try {
        std::string text = StringUtils::wrapText(raw, width);
        const std::unique_ptr<AlertDescription_t> details =
            withDescription ? getDescription() : nullptr;
        if (details) {
            text += "\n" + details->toDisplayString(width);
        }
        return text;
    } catch (const std::exception& e) {
        Logger::Instance().log("ERROR", std::string("exception parsing alert for display string:") +
                                            e.what() + ". Returning raw string");
    } catch (...) {
        Logger::Instance().log(
            "ERROR", "unknown exception parsing alert for display string: Returning raw string");
    }
    return raw;
}

bool isEqual(const std::shared_ptr<Alert_t>& a, const std::shared_ptr<Alert_t>& b) {
    return a && b && *a == *b;
}

void Alert_t::setDescription(std::unique_ptr<AlertDescription_t> details) {
    std::unique_ptr<AlertDescription_t> old;
    const std::lock_guard<std::mutex> lock(descriptionLock);
    old = std::move(description);
    description = std::move(details);
}

std::unique_ptr<AlertDescription_t> Alert_t::getDescription() const {
    const std::lock_guard<std::mutex> lock(descriptionLock);
    return copyOf(description);
}

bool Alert_t::hasDescription() const {
    const std::lock_guard<std::mutex> lock(descriptionLock);
    return description != nullptr;
}

}  // namespace vpcore
