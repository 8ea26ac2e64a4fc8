#include "conditions/ProviderLinkUpdater.h"

#include <QCoreApplication>

#include "conditions/CurrentConditionsPanel.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "widgets/VPLinkLabel.h"

ProviderLinkUpdater::ProviderLinkUpdater(CurrentConditionsPanel* panel) : panel(panel) {
    vpcore::NotificationService::Instance().addPropertyChangeListener<std::string>(
        this, {vpcore::PROP_PROVIDER_LINK});
}

ProviderLinkUpdater::~ProviderLinkUpdater() {
    vpcore::NotificationService::Instance().removePropertyChangeListener<std::string>(
        this, {vpcore::PROP_PROVIDER_LINK});
}

void ProviderLinkUpdater::handlePropertyChange(short, const std::string* const,
                                               const std::string* const newValue) {
    VPLinkLabel::EventInfo info;
    info.visible = true;
    if (!newValue->empty()) {
        info.url = QString::fromStdString(*newValue);
    } else {
        info.url = CurrentConditionsPanel::NWS_HOME_PAGE;
        info.text = CurrentConditionsPanel::NWS_NAME;
    }
    VPLinkLabel* label = panel->getProviderLinkLabel();
    if (label != nullptr) {
        QCoreApplication::postEvent(label, new VPLinkLabel::VPLinkLabelEvent(info));
    }
}
