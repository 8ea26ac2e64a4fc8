// Fills a fixed row of provider link labels from the provider's list of (text, URL) links
// (PROP_PROVIDER_LINKS) and hides the labels the list does not reach. Called on the publishing
// thread; it only posts events, which the labels apply on the GUI thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "services/IPropertyChangeListener.h"

class VPLinkLabel;

class ProviderAdLinkUpdater
    : public vpcore::IPropertyChangeListener<std::vector<std::pair<std::string, std::string>>> {
public:
    typedef std::vector<std::pair<std::string, std::string>> LinkList;

    // The labels (not owned) in display order; they must outlive the updater.
    explicit ProviderAdLinkUpdater(const std::vector<VPLinkLabel*>& links);
    // Stops listening; waits for a notification that is running on another thread.
    ~ProviderAdLinkUpdater() override;

    ProviderAdLinkUpdater(const ProviderAdLinkUpdater&) = delete;
    ProviderAdLinkUpdater& operator=(const ProviderAdLinkUpdater&) = delete;

    // In each pair, first is the text and second the URL.
    void handlePropertyChange(short propId, const LinkList* const oldValue,
                              const LinkList* const newValue) override;

private:
    std::vector<VPLinkLabel*> links;
};
