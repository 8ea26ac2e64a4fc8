// The options dialog: page names on the left, the pages on the right. A page is validated and
// saved when the user leaves it and when the dialog closes; an invalid page keeps the user on
// it, and refuses the first close (saying why, and that a second close leaves without it). Run
// modally on the GUI thread by the main window's settings button and the banner.
#pragma once

#include "base/VespWindow.h"

class QCloseEvent;
class QListWidget;
class QListWidgetItem;
class QStackedWidget;
class OptionsPageBase;

class VesparoOptionsDialog : public VespWindow {
    Q_OBJECT
public:
    explicit VesparoOptionsDialog(QWidget* parent);

    void init() override;

    // Escape would close the dialog without the check and save of closeEvent.
    void reject() override;

public slots:
    void changePage(QListWidgetItem* current, QListWidgetItem* previous);

protected:
    void switchPage(QListWidgetItem* current, QListWidgetItem* previous, bool validateAndSave);
    void closeEvent(QCloseEvent* e) override;

private:
    OptionsPageBase* shownPage() const;
    // Validates the page on screen and saves it; false (error shown) when it is invalid.
    bool validateAndSaveShownPage();
    // Whether a close may go ahead: the page on screen was saved, or a close was refused
    // before and this one leaves without saving it.
    bool mayClose();

    QListWidgetItem* currentItem = nullptr;  // whose page changePage showed last
    QStackedWidget* pageStack = nullptr;     // pages in list order
    QListWidget* pageList = nullptr;
    bool closeRefused = false;  // set by the first close an invalid page refused
};
