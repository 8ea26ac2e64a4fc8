// The alert details page of the main window: the current alerts one at a time, typed out in
// an OpenGL text area, with links to fetch an alert's full details, to step through the
// alerts and to go back to the current conditions. Leaving the page with every alert seen
// announces PROP_ALERT_VIEWED. GUI thread, except handlePropertyChange (any thread).
#pragma once

#include <QWidget>

#include "services/IPropertyChangeListener.h"
#include "weather/AlertModel.h"

class AlertGLTextArea;
class QScrollArea;
class VPLinkLabel;

class AlertDetailsPanel : public QWidget, private vpcore::NoPropertyChangeListener {
    Q_OBJECT
public:
    static constexpr unsigned int TEXT_WIDTH = 70;  // columns the alert texts are wrapped to

    // model: not owned, may be null (no alerts). Registers PROP_ALERT_DETAILS, which the
    // details retrievers publish: a second panel fails with the duplicate-id error.
    AlertDetailsPanel(vpcore::AlertModel* model, QWidget* parent);
    // Stops listening and unregisters PROP_ALERT_DETAILS.
    ~AlertDetailsPanel() override;

    // Any thread: only posts the id to the panel.
    void handlePropertyChange(short propId, const int* const oldValue,
                              const int* const newValue) override;

protected:
    bool event(QEvent* e) override;
    // Every show starts over at the first alert, collapsed.
    void showEvent(QShowEvent* e) override;

private slots:
    void onDetailsLinkClicked(VPLinkLabel* sender);
    void onCloseLinkClicked(VPLinkLabel* sender);
    void onPrevNextLinkClicked(VPLinkLabel* sender);

private:
    void setupUi();
    // Copies the model's alerts into alerts; with none, says so and disables both links.
    void loadAlerts(vpcore::AlertModel::AlertList& alerts);
    void updateNavigationLinks();
    void setExpanded(bool expanded);
    // Shows the alert with its details (as far as they are there) and marks it viewed; it
    // types out from the start only when it had not been seen.
    void showAlert(const std::shared_ptr<vpcore::Alert_t>& alert);
    // Disables both navigation links while details are on their way, remembering their looks.
    void holdNavigation();
    void queueDetailsRetrieval(const std::shared_ptr<vpcore::Alert_t>& alert);
    // Leaves the alert page for the current-conditions page.
    void showConditionsPage();

    AlertGLTextArea* textArea = nullptr;
    QScrollArea* scrollArea = nullptr;
    VPLinkLabel* detailsLink = nullptr;  // "Click for details" while collapsed, empty expanded
    VPLinkLabel* previousLink = nullptr;
    VPLinkLabel* nextLink = nullptr;
    vpcore::AlertModel* model;
    int currentIndex = 0;  // of the shown alert in the model's list
    bool expanded = false;
    // The looks of the navigation links before a details request disabled them; restored
    // when the details arrive. held is false when no request is waiting.
    bool held = false;
    bool previousWasActive = false;
    bool nextWasActive = false;
};
