// Sets the current-conditions panel's provider link from the provider's home-page address
// (PROP_PROVIDER_LINK), falling back to the National Weather Service when it is empty. Called
// on the publishing thread; it only posts an event, which the label applies on the GUI thread.
#pragma once

#include <string>

#include "services/IPropertyChangeListener.h"

class CurrentConditionsPanel;

class ProviderLinkUpdater : public vpcore::StringPropertyChangeListener {
public:
    // The panel (not owned) must outlive the updater and hold its provider link label.
    explicit ProviderLinkUpdater(CurrentConditionsPanel* panel);
    // Stops listening; waits for a notification that is running on another thread.
    ~ProviderLinkUpdater() override;

    ProviderLinkUpdater(const ProviderLinkUpdater&) = delete;
    ProviderLinkUpdater& operator=(const ProviderLinkUpdater&) = delete;

    void handlePropertyChange(short propId, const std::string* const oldValue,
                              const std::string* const newValue) override;

private:
    CurrentConditionsPanel* panel;
};
