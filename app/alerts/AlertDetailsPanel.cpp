#include "alerts/AlertDetailsPanel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <set>
#include <stdexcept>

#include "alerts/AlertGLTextArea.h"
#include "services/Logger.h"
#include "services/NotificationService.h"
#include "services/PropIds.h"
#include "services/TaskScheduler.h"
#include "weather/AlertModelDetailsRetriever.h"
#include "widgets/PageSwitcher.h"
#include "widgets/VPDataEvent.h"
#include "widgets/VPLinkLabel.h"

namespace {

const char* const DETAILS_TEXT = "Click for details";
const char* const ALL_EXPIRED_TEXT = "All weather alerts have expired";
const char* const REQUESTING_TEXT = "\nRequesting details. Please wait ...";
const char* const RETRIEVAL_FAILED_TEXT = "\nRetrieval of weather alert details failed.";
const int LINK_HEIGHT = 22;

const std::set<short>& detailsId() {
    static const std::set<short> ids{vpcore::PROP_ALERT_DETAILS};
    return ids;
}

}  // namespace

AlertDetailsPanel::AlertDetailsPanel(vpcore::AlertModel* model, QWidget* parent)
    : QWidget(parent), model(model) {
    setupUi();
}

AlertDetailsPanel::~AlertDetailsPanel() {
    auto& service = vpcore::NotificationService::Instance();
    service.removePropertyChangeListener<int>(this, detailsId());
    service.unRegisterPropertyIds(detailsId());
}

void AlertDetailsPanel::setupUi() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    scrollArea = new QScrollArea(this);
    scrollArea->setBackgroundRole(QPalette::Dark);
    textArea = new AlertGLTextArea(this, "");
    scrollArea->setWidget(textArea);
    layout->addWidget(scrollArea);

    auto* linkRow = new QWidget(this);
    linkRow->setMinimumHeight(LINK_HEIGHT);
    auto* row = new QHBoxLayout(linkRow);
    row->setContentsMargins(5, 0, 5, 0);
    detailsLink = new VPLinkLabel(linkRow);
    detailsLink->setMinimumSize(240, LINK_HEIGHT);
    detailsLink->setText(DETAILS_TEXT);
    previousLink = new VPLinkLabel(linkRow);
    previousLink->setText("Previous alert");
    previousLink->setLinkStyle(false);
    nextLink = new VPLinkLabel(linkRow);
    nextLink->setText("Next alert");
    auto* closeLink = new VPLinkLabel(linkRow);
    closeLink->setText("Back to Current Conditions");
    row->addWidget(detailsLink);
    row->addWidget(previousLink);
    row->addWidget(nextLink);
    row->addWidget(closeLink);
    layout->addWidget(linkRow);
    // The page is taller than the text and its links when collapsed: the rest stays below.
    layout->addStretch();

    connect(detailsLink, &VPLinkLabel::clicked, this, &AlertDetailsPanel::onDetailsLinkClicked);
    connect(previousLink, &VPLinkLabel::clicked, this, &AlertDetailsPanel::onPrevNextLinkClicked);
    connect(nextLink, &VPLinkLabel::clicked, this, &AlertDetailsPanel::onPrevNextLinkClicked);
    connect(closeLink, &VPLinkLabel::clicked, this, &AlertDetailsPanel::onCloseLinkClicked);

    auto& service = vpcore::NotificationService::Instance();
    service.registerPropertyIds(detailsId());
    service.addPropertyChangeListener<int>(this, detailsId());
}

void AlertDetailsPanel::handlePropertyChange(short propId, const int* const, const int* const) {
    if (propId == vpcore::PROP_ALERT_DETAILS) {
        QCoreApplication::postEvent(this, new VPPropertyChange(propId));
    }
}

bool AlertDetailsPanel::event(QEvent* e) {
    if (e->type() != VPPropertyChange::eventType()) {
        return QWidget::event(e);
    }
    // The details of a retrieval have arrived, or its failure.
    vpcore::AlertModel::AlertList alerts;
    loadAlerts(alerts);
    if (held) {
        previousLink->setLinkStyle(previousWasActive);
        nextLink->setLinkStyle(nextWasActive);
        held = false;
    }
    if (!alerts.empty()) {
        if (currentIndex < 0 || currentIndex >= static_cast<int>(alerts.size())) {
            // The list shrank while the details were on their way.
            currentIndex = 0;
            showAlert(alerts[0]);
        } else {
            const auto& alert = alerts[currentIndex];
            if (const auto details = alert->getDescription()) {
                textArea->setText(alert->toDisplayString(TEXT_WIDTH, false, false), false);
                textArea->appendText("\n");
                textArea->appendText(details->toDisplayString(TEXT_WIDTH));
            } else {
                textArea->appendText(RETRIEVAL_FAILED_TEXT);
            }
        }
    }
    updateNavigationLinks();
    e->accept();
    return true;
}

void AlertDetailsPanel::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    setExpanded(false);
    currentIndex = 0;
    held = false;
    vpcore::AlertModel::AlertList alerts;
    loadAlerts(alerts);
    if (!alerts.empty()) {
        const auto& first = alerts[0];
        const bool restart = !first->viewed;
        first->viewed = true;
        textArea->setText(first->toDisplayString(TEXT_WIDTH, true, false), restart);
    }
    updateNavigationLinks();
}

void AlertDetailsPanel::loadAlerts(vpcore::AlertModel::AlertList& alerts) {
    alerts.clear();
    if (model != nullptr) {
        model->getAlertItems(alerts);
    }
    if (alerts.empty()) {
        textArea->setText(ALL_EXPIRED_TEXT, true);
        previousLink->setLinkStyle(false);
        nextLink->setLinkStyle(false);
    }
}

void AlertDetailsPanel::updateNavigationLinks() {
    vpcore::AlertModel::AlertList alerts;
    if (model != nullptr) {
        model->getAlertItems(alerts);
    }
    // Each link is active exactly when there is an alert on its side of the shown one.
    const int count = static_cast<int>(alerts.size());
    previousLink->setLinkStyle(count > 1 && currentIndex > 0);
    nextLink->setLinkStyle(count > 1 && currentIndex < count - 1);
}

void AlertDetailsPanel::setExpanded(bool expand) {
    expanded = expand;
    if (textArea == nullptr) {
        return;
    }
    const int parentHeight = parentWidget() != nullptr ? parentWidget()->height() : height();
    const int h = expanded ? parentHeight : parentHeight / 2;
    detailsLink->setText(expanded ? QString() : QString(DETAILS_TEXT));
    if (expanded) {
        textArea->setMinimumSize(width() + 100, h + 500);
    } else {
        textArea->setMinimumSize(width(), h);
    }
    scrollArea->setFixedSize(width(), h - LINK_HEIGHT);
    const Qt::ScrollBarPolicy policy = expanded ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    scrollArea->setHorizontalScrollBarPolicy(policy);
    scrollArea->setVerticalScrollBarPolicy(policy);
    if (!expanded) {
        scrollArea->verticalScrollBar()->setValue(0);
    }
    resize(width(), h);
}

void AlertDetailsPanel::showAlert(const std::shared_ptr<vpcore::Alert_t>& alert) {
    const bool restart = !alert->viewed;
    textArea->setText(alert->toDisplayString(TEXT_WIDTH, false, true), restart);
    alert->viewed = true;
}

void AlertDetailsPanel::holdNavigation() {
    if (!held) {
        previousWasActive = previousLink->isLinkActive();
        nextWasActive = nextLink->isLinkActive();
        held = true;
    }
    previousLink->setLinkStyle(false);
    nextLink->setLinkStyle(false);
}

void AlertDetailsPanel::queueDetailsRetrieval(const std::shared_ptr<vpcore::Alert_t>& alert) {
    vpcore::TaskScheduler::instance().queueTask(new vpcore::AlertModelDetailsRetriever(alert));
}

void AlertDetailsPanel::onDetailsLinkClicked(VPLinkLabel*) {
    if (detailsLink == nullptr || textArea == nullptr) {
        return;
    }
    vpcore::AlertModel::AlertList alerts;
    loadAlerts(alerts);
    if (alerts.empty()) {
        return;
    }
    setExpanded(true);
    if (currentIndex < 0 || currentIndex >= static_cast<int>(alerts.size())) {
        return;
    }
    const auto& alert = alerts[currentIndex];
    if (alert->hasDescription()) {
        textArea->setText(alert->toDisplayString(TEXT_WIDTH, false, true), false);
        return;
    }
    textArea->appendText(REQUESTING_TEXT);
    holdNavigation();
    queueDetailsRetrieval(alert);
}

void AlertDetailsPanel::onPrevNextLinkClicked(VPLinkLabel* sender) {
    vpcore::AlertModel::AlertList alerts;
    loadAlerts(alerts);
    if (alerts.empty()) {
        return;
    }
    if (sender == previousLink) {
        --currentIndex;
    } else if (sender == nextLink) {
        ++currentIndex;
    }
    // Past either end, as when the list shrank since the last click: back to the first.
    if (currentIndex < 0 || currentIndex >= static_cast<int>(alerts.size())) {
        currentIndex = 0;
    }
    updateNavigationLinks();
    const auto& alert = alerts[currentIndex];
    showAlert(alert);
    if (expanded && !alert->hasDescription()) {
        queueDetailsRetrieval(alert);
    }
}

void AlertDetailsPanel::onCloseLinkClicked(VPLinkLabel*) {
    vpcore::AlertModel::AlertList alerts;
    if (model != nullptr) {
        model->getAlertItems(alerts);
    }
    bool allViewed = true;
    for (const auto& alert : alerts) {
        allViewed = allViewed && alert->viewed;
    }
    if (allViewed) {
        try {
            vpcore::NotificationService::Instance().notify(vpcore::PROP_ALERT_VIEWED);
        } catch (const std::exception& e) {
            // Nobody registered the event (no alert indicator): the page still closes.
            vpcore::Logger::Instance().log("ERROR", e.what());
        }
    }
    showConditionsPage();
}

void AlertDetailsPanel::showConditionsPage() {
    if (PageSwitcher* pages = PageSwitcher::of(this)) {
        pages->setCurrentPage(PageSwitcher::CONDITIONS_PAGE);
    }
}
