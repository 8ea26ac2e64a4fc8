// The point forecast of the current location as 12-hour periods. A scheduled task (run hourly on
// the scheduler's runner thread, where its provider fills it) and a weather model; the forecast
// panel reads the periods on the GUI thread after a handler has told it of a new list.
//
// Ownership: the model owns the records it holds and frees them when they are replaced or the
// model goes. Readers never get those records: getForecastItems hands out new copies, which
// belong to the reader. So no record is freed twice and none is left behind.
#pragma once

#include <QMutex>
#include <memory>
#include <string>
#include <vector>

#include "services/FastDelegate.h"
#include "services/IScheduledTask.h"
#include "services/VpCoreExport.h"
#include "weather/ForecastItem_t.h"
#include "weather/IWeatherModel.h"

namespace vpcore {

class ForecastModelTestAccess;

class VPCORE_EXPORT ForecastModel : public IScheduledTask, public IWeatherModel {
public:
    ForecastModel();
    ~ForecastModel() override;

    // Empties the list, asks the provider to fill it and, when that succeeded, calls the
    // handlers in registration order on this thread, with no lock held.
    bool performTask() override;
    std::string getTaskName() const override;
    bool contributesToProgressBar() const override;
    std::string getDescription() const override;

    // Empties the list and tells the handlers, so that nothing of a forgotten place is shown.
    void clear();

    // Handlers are kept for the model's life; there is no removal.
    void registerHandler(fastdelegate::FastDelegate0<void> handler);

    // Replaces the content of `out` with copies of the current periods, in feed order. The
    // caller owns the copies (the forecast panel's cards free them).
    void getForecastItems(std::vector<ForecastItem_t*>& out) const;
    // Both take ownership of the records given. A null pointer, or a record the model holds
    // already, is not taken twice.
    void addForecastItem(ForecastItem_t* item);
    void assignForecastItems(const std::vector<ForecastItem_t*>& newItems);

    // Condition class from the period name (night) and the worded forecast (weather words),
    // compared without letter case.
    static ForecastItem_t::Condition_t conditionFromLongDesc(const ForecastItem_t* item);

private:
    friend class ForecastModelTestAccess;

    void clearForecastItems();
    // Seven fixed periods with the clear-sky icon of the forecast site, to exercise the panel.
    void buildMockForecast();
    std::vector<fastdelegate::FastDelegate0<void>> handlersSnapshot() const;

    std::vector<std::unique_ptr<ForecastItem_t>> items;
    std::vector<fastdelegate::FastDelegate0<void>> handlers;
    // Guards items and handlers. Never held while a handler or the provider runs.
    mutable QMutex mutex;
};

}  // namespace vpcore
