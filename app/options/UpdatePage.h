// The options page that says whether the home site publishes a newer version and links to
// its download. The check runs once, when the dialog is built, on a thread of its own so
// that a dead network (10 s time-out) never freezes the dialog; the page says that it is
// checking until the answer is in, then what the answer was (or that the check failed). GUI thread
// only, but for that check.
#pragma once

#include <QVersionNumber>

#include "options/OptionsPageBase.h"

class QFormLayout;
class QLabel;
class VPLinkLabel;

class UpdatePage : public OptionsPageBase {
    Q_OBJECT
public:
    explicit UpdatePage(QWidget* parent);

    // Nothing to save.
    void save() override {}
    // The name alone: "Update".
    QString title() const override;

    // True until the check's answer has reached the page.
    bool isCheckingForUpdate() const { return checking; }

private slots:
    void onUpdateLinkClicked(VPLinkLabel* link);

private:
    // Shows the answer of the check: the download label and link when a newer version exists;
    // a failed check (no answer, an error, a version that is not a number) says so.
    void showUpdate(bool failed, bool newer, const QVersionNumber& latestVersion);

    QFormLayout* layout;
    QLabel* messageLabel;
    bool checking = true;
};
