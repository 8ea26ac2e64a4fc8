// Current conditions from the XOAP current-conditions feed of an outside weather service. A
// library class that the program never installs: a caller constructs it with the feed's
// location id and gives it to a CurrentWeatherInfoModel. Runs where the model's task runs.
#pragma once

#include <string>
#include <vector>

#include "services/VpCoreExport.h"
#include "weather/AbstractXMLWeatherInfoProvider.h"

namespace vpcore {

class VPCORE_EXPORT CurrentWeatherComInfoProviderImpl : public AbstractXMLWeatherInfoProvider {
public:
    explicit CurrentWeatherComInfoProviderImpl(const std::string& locationId);
    ~CurrentWeatherComInfoProviderImpl() override;

    // The feed's credentials, sent as query values.
    static const char* const kPartnerId;
    static const char* const kLicenceKey;
    // Below the install folder: the condition icons ("07.png", "32.png", ...) and the logo.
    static const char* const kIconFolder;
    static const char* const kLogoFile;

protected:
    // "http://" + OMBRIX_XOAP_HOST + "/weather/local/<id>?cc=*&prod=xoap&link=xoap&par=...".
    std::string buildUrl() const override;
    // Requires "loc" and "cc" under the root.
    std::vector<std::string> getValidationNodeList() const override;
    // Publishes the values, logo, home-page link and promotional links; false (and nothing
    // published) for a failed fetch or an observation the model already holds.
    bool doUpdate(IWeatherModel* const model) override;
};

}  // namespace vpcore
