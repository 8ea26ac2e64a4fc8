#include "weather/ForecastItem_t.h"

namespace vpcore {

ForecastItem_t::ForecastItem_t() = default;

ForecastItem_t::ForecastItem_t(const ForecastItem_t& other)
    : periodName(other.periodName),
      icon(other.icon ? std::make_unique<QImage>(*other.icon) : nullptr),
      hiLoLabel(other.hiLoLabel),
      temperature(other.temperature),
      shortDesc(other.shortDesc),
      longDesc(other.longDesc),
      condition(other.condition) {}

ForecastItem_t& ForecastItem_t::operator=(const ForecastItem_t& other) {
    if (this != &other) {
        ForecastItem_t copy(other);
        periodName = std::move(copy.periodName);
        icon = std::move(copy.icon);
        hiLoLabel = std::move(copy.hiLoLabel);
        temperature = copy.temperature;
        shortDesc = std::move(copy.shortDesc);
        longDesc = std::move(copy.longDesc);
        condition = copy.condition;
    }
    return *this;
}

ForecastItem_t::~ForecastItem_t() = default;

}  // namespace vpcore
