// A one-shot task that fetches the CAP document of one alert and attaches its event,
// description and instruction to the alert. The alert panel creates one per request and hands
// it to TaskScheduler::queueTask, which runs it on the runner thread and deletes it.
#pragma once

#include <QDomDocument>
#include <memory>
#include <string>

#include "services/IScheduledTask.h"
#include "services/VpCoreExport.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"
#include "weather/Alert_t.h"

namespace vpcore {

class VPCORE_EXPORT AlertModelDetailsRetriever : public IScheduledTask,
                                                 private AbstractXMLWeatherInfoProvider {
public:
    // Keeps the alert alive while the task exists. Throws std::invalid_argument for null.
    explicit AlertModelDetailsRetriever(std::shared_ptr<Alert_t> alert);
    ~AlertModelDetailsRetriever() override;

    // Fetches the document named by the alert's id and attaches its details. Notifies
    // PROP_ALERT_DETAILS once when it ends, whether it succeeded or failed; a failure leaves
    // the alert without details.
    bool performTask() override;
    std::string getTaskName() const override;
    bool contributesToProgressBar() const override;
    std::string getDescription() const override;

    // The event, description and instruction of the first "info" of a CAP document (empty
    // texts when there is none). Names match with or without a namespace prefix. The
    // description and instruction keep their line breaks, without the indentation and
    // trailing blanks that a re-indented document adds.
    static AlertDescription_t parseDescription(const QDomDocument& cap);

protected:
    // The address comes from the alert, not from a location.
    std::string buildUrl() const override;
    bool doUpdate(IWeatherModel* const model) override;

private:
    std::shared_ptr<Alert_t> alert;
};

}  // namespace vpcore
