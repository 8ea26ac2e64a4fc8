#include "weather/ForecastModel.h"

#include <QMutexLocker>
#include <map>
#include <set>
#include <utility>

#include "display/LabelImageProvider.h"
#include "services/StringUtils.h"
#include "weather/ForecastProviderImpl.h"

namespace vpcore {

ForecastModel::ForecastModel() = default;

ForecastModel::~ForecastModel() = default;

bool ForecastModel::performTask() {
    clearForecastItems();
    const bool updated = getProvider().update(this);
    if (updated) {
        for (const fastdelegate::FastDelegate0<void>& handler : handlersSnapshot()) {
            handler();
        }
    }
    return updated;
}

void ForecastModel::clear() {
    clearForecastItems();
    for (const fastdelegate::FastDelegate0<void>& handler : handlersSnapshot()) {
        handler();
    }
}

std::string ForecastModel::getTaskName() const {
    return "Forecast Update";
}

bool ForecastModel::contributesToProgressBar() const {
    return true;
}

std::string ForecastModel::getDescription() const {
    return "Updating forecast.";
}

void ForecastModel::registerHandler(fastdelegate::FastDelegate0<void> handler) {
    QMutexLocker lock(&mutex);
    handlers.push_back(handler);
}

void ForecastModel::getForecastItems(std::vector<ForecastItem_t*>& out) const {
    std::vector<ForecastItem_t*> copies;
    QMutexLocker lock(&mutex);
    copies.reserve(items.size());
    for (const std::unique_ptr<ForecastItem_t>& item : items) {
        copies.push_back(new ForecastItem_t(*item));
    }
    out.swap(copies);
}

void ForecastModel::addForecastItem(ForecastItem_t* item) {
    if (item == nullptr) {
        return;
    }
    QMutexLocker lock(&mutex);
    for (const std::unique_ptr<ForecastItem_t>& held : items) {
        if (held.get() == item) {
            return;
        }
    }
    items.emplace_back(item);
}

void ForecastModel::assignForecastItems(const std::vector<ForecastItem_t*>& newItems) {
    // Records of the old list that the new list does not take over; freed after unlocking.
    std::map<ForecastItem_t*, std::unique_ptr<ForecastItem_t>> dropped;
    QMutexLocker lock(&mutex);
    for (std::unique_ptr<ForecastItem_t>& held : items) {
        ForecastItem_t* const key = held.get();
        dropped[key] = std::move(held);
    }
    std::vector<std::unique_ptr<ForecastItem_t>> next;
    std::set<ForecastItem_t*> taken;
    for (ForecastItem_t* item : newItems) {
        if (item == nullptr || !taken.insert(item).second) {
            continue;
        }
        const auto reused = dropped.find(item);
        if (reused != dropped.end()) {
            next.push_back(std::move(reused->second));
            dropped.erase(reused);
        } else {
            next.emplace_back(item);
        }
    }
    items.swap(next);
}

void ForecastModel::clearForecastItems() {
    std::vector<std::unique_ptr<ForecastItem_t>> dropped;
    QMutexLocker lock(&mutex);
    items.swap(dropped);
}

std::vector<fastdelegate::FastDelegate0<void>> ForecastModel::handlersSnapshot() const {
    QMutexLocker lock(&mutex);
    return handlers;
}

ForecastItem_t::Condition_t ForecastModel::conditionFromLongDesc(const ForecastItem_t* item) {
    const std::string name = StringUtils::toLower(item->periodName);
    const std::string text = StringUtils::toLower(item->longDesc);
    const auto holds = [&text](const char* word) { return text.find(word) != std::string::npos; };

    if (holds("thunder")) {
        return ForecastItem_t::CONDITION_THUNDERSTORM;
    }
    if (holds("rain") || (holds("showers") && !holds("snow"))) {
        return ForecastItem_t::CONDITION_RAIN;
    }
    if (holds("windy") || holds("breezy")) {
        return ForecastItem_t::CONDITION_WINDY;
    }
    if (holds("snow") || holds("sleet")) {
        return ForecastItem_t::CONDITION_SNOW;
    }
    return name.find("night") != std::string::npos ? ForecastItem_t::CONDITION_NIGHT
                                                   : ForecastItem_t::CONDITION_SUNNY;
}

void ForecastModel::buildMockForecast() {
    struct Period {
        const char* periodName;
        const char* shortDesc;
        const char* longDesc;
        const char* hiLoLabel;
        int temperature;
    };
    static const Period kPeriods[] = {
        {"Tonight", "Cloudy", "20% chance of light snow.", "Lo", 32},
        {"Tomorrow", "Partly Cloudy", "Breezy and cold.", "Hi", 28},
        {"Thursday", "Sunny", "Sunny and a little warmer.", "Hi", 45},
        {"Friday", "Mosty Sunny", "Most sunny with some clouds in the evening.", "Hi", 47},
        {"Saturday", "Rain", "Rain and warm.", "Hi", 50},
        {"Sunday", "Rain", "Rain, with temperatures falling through the day.", "Hi", 40},
        {"Monday", "Mostly Cloudy",
         "Cloudy in the morning with clearing in the afternoon. Breezy and colder. This is a "
         "long description to test the label wrapping.",
         "Hi", 35},
    };

    // One download serves all seven records; none of it happens under the lock.
    const std::unique_ptr<QImage> icon = LabelImageProvider::getRemoteImageAutoPtr(
        ForecastProviderImpl::forecastSiteUrl() + "/weather/images/fcicons/skc.jpg");
    std::vector<std::unique_ptr<ForecastItem_t>> mock;
    for (const Period& period : kPeriods) {
        auto item = std::make_unique<ForecastItem_t>();
        item->periodName = period.periodName;
        item->shortDesc = period.shortDesc;
        item->longDesc = period.longDesc;
        item->hiLoLabel = period.hiLoLabel;
        item->temperature = period.temperature;
        item->icon = std::make_unique<QImage>(*icon);
        item->condition = conditionFromLongDesc(item.get());
        mock.push_back(std::move(item));
    }
    {
        QMutexLocker lock(&mutex);
        for (std::unique_ptr<ForecastItem_t>& item : mock) {
            items.push_back(std::move(item));
        }
    }
    // Called unlocked: a handler may read the list at once.
    for (const fastdelegate::FastDelegate0<void>& handler : handlersSnapshot()) {
        handler();
    }
}

}  // namespace vpcore
