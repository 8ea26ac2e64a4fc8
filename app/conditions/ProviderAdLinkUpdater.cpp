#include "conditions/ProviderAdLinkUpdater.h"

#include <QCoreApplication>

#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "widgets/VPLinkLabel.h"

ProviderAdLinkUpdater::ProviderAdLinkUpdater(const std::vector<VPLinkLabel*>& links)
    : links(links) {
    vpcore::NotificationService::Instance().addPropertyChangeListener<LinkList>(
        this, {vpcore::PROP_PROVIDER_LINKS});
}

ProviderAdLinkUpdater::~ProviderAdLinkUpdater() {
    vpcore::NotificationService::Instance().removePropertyChangeListener<LinkList>(
        this, {vpcore::PROP_PROVIDER_LINKS});
}

void ProviderAdLinkUpdater::handlePropertyChange(short propId, const LinkList* const,
                                                 const LinkList* const newValue) {
    if (propId != vpcore::PROP_PROVIDER_LINKS) {
        return;
    }
    if (newValue->size() > links.size()) {
        vpcore::Logger::Instance().log("ERROR", "Too many provider links");
        return;
    }
    std::vector<VPLinkLabel::EventInfo> records(links.size());
    for (std::size_t i = 0; i < newValue->size(); ++i) {
        records[i].visible = true;
        records[i].url = QString::fromStdString((*newValue)[i].second);
        records[i].text = QString::fromStdString((*newValue)[i].first);
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        QCoreApplication::postEvent(links[i], new VPLinkLabel::VPLinkLabelEvent(records[i]));
    }
}
