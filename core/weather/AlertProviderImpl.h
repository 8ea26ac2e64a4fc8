// Reads the ATOM feed of active alerts for one county or zone code and hands its entries to
// the alert model. Created by the location service for each location; runs on the
// scheduler's runner thread through AlertModel::performTask.
#pragma once

#include <QDomDocument>
#include <string>

#include "services/VpCoreExport.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"
#include "weather/AlertModel.h"

namespace vpcore {

class VPCORE_EXPORT AlertProviderImpl : public AbstractXMLWeatherInfoProvider {
public:
    // The most entries read from one feed, far above any real one (a county has a handful, a
    // whole state some dozens); the rest are left out with a WARN naming them.
    static constexpr int kMaxFeedEntries = 10000;

    // alertCode: the county or zone alert code, e.g. "TXC453".
    explicit AlertProviderImpl(const std::string& alertCode);

    // The alerts of a parsed feed, in feed order: every "entry" element below the root that
    // carries a published, effective or expiry time. The entry that stands for the feed itself
    // ("no active alerts") is none. Texts are trimmed and their white space runs folded into
    // one blank. Only the first kMaxFeedEntries entries are read. Throws VpUpdateException
    // (unsupported document) when the root is not a feed.
    static AlertModel::AlertList parseAlerts(const QDomDocument& feed);

    // "https://alerts.weather.gov", or "http://" + OMBRIX_ALERTS_HOST when that is set
    // ("host" or "host:port"; a value with a scheme is taken as it is).
    static std::string serviceRoot();

protected:
    std::string buildUrl() const override;
    // Hands the feed's alerts to the AlertModel; false, with the list kept, when the feed
    // cannot be fetched or read.
    bool doUpdate(IWeatherModel* const model) override;
};

}  // namespace vpcore
