#include "options/VesparoOptionsDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QStackedWidget>

#include "options/AboutPage.h"
#include "options/AlertPage.h"
#include "options/LocationPage.h"
#include "options/OptionsPageBase.h"
#include "options/SoundsPage.h"
#include "options/UpdatePage.h"
#include "options/WaitCursor.h"
#include "widgets/VPStatusBar.h"

namespace {

const char* const kCloseAgain = "Close again to leave anyway.";

void setBold(QListWidgetItem* item, bool bold) {
    if (item != nullptr) {
        QFont font = item->font();
        font.setBold(bold);
        item->setFont(font);
    }
}

}  // namespace

VesparoOptionsDialog::VesparoOptionsDialog(QWidget* parent) : VespWindow(parent) {
    setCloseButtonShown(true);
    setConfigureButtonShown(false);
    setUpWindow();
}

void VesparoOptionsDialog::init() {
    // The pages are laid out for this size.
    setFixedSize(600, 500);
    setWindowTitle("Ombrix - Options");
    QWidget* content = contentWidget();

    pageList = new QListWidget(content);
    pageList->setObjectName("pageList");
    pageList->setViewMode(QListView::ListMode);
    pageList->setMovement(QListView::Static);
    pageList->setMaximumWidth(128);
    pageList->setSpacing(12);
    pageList->setCursor(Qt::PointingHandCursor);
    pageList->addItems({"Location", "Alerts", "Sounds", "Update", "About"});
    pageList->setCurrentRow(0);
    setBold(pageList->item(0), true);

    pageStack = new QStackedWidget(content);
    pageStack->setObjectName("pageStack");
    pageStack->addWidget(new LocationPage(content));
    pageStack->addWidget(new AlertPage(content));
    pageStack->addWidget(new SoundsPage(content));
    pageStack->addWidget(new UpdatePage(content));
    pageStack->addWidget(new AboutPage(content));

    auto* layout = new QHBoxLayout(content);
    layout->addWidget(pageList, 0);
    layout->addWidget(pageStack, 1);

    // The keyboard starts on the page list (the arrows switch pages), not on the close button.
    pageList->setFocus();

    // Connected after the first row was made current, so that selection is no page switch.
    connect(pageList, &QListWidget::currentItemChanged, this, &VesparoOptionsDialog::changePage);
}

void VesparoOptionsDialog::changePage(QListWidgetItem* current, QListWidgetItem* previous) {
    switchPage(current, previous, true);
}

void VesparoOptionsDialog::switchPage(QListWidgetItem* current, QListWidgetItem* previous,
                                      bool validateAndSave) {
    if (current == currentItem) {
        return;
    }
    OptionsPageBase* page = shownPage();
    if (page != nullptr && validateAndSave) {
        QString error;
        if (!page->validate(error)) {
            page->setError(error);
            // Stored first, so the selection change below comes back here as a no-op.
            currentItem = previous;
            pageList->setCurrentItem(previous);
            return;
        }
    }
    if (page != nullptr) {
        page->clearError();
        currentItem = current;
        if (validateAndSave) {
            page->save();
        }
    }
    pageStack->setCurrentIndex(pageList->row(current));
    setBold(previous, false);
    setBold(current, true);
}

void VesparoOptionsDialog::closeEvent(QCloseEvent* e) {
    if (!mayClose()) {
        e->ignore();
        return;
    }
    // QWidget's handler, not QDialog's, which would go through reject() and save again.
    QWidget::closeEvent(e);
}

void VesparoOptionsDialog::reject() {
    if (mayClose()) {
        VespWindow::reject();
    }
}

bool VesparoOptionsDialog::mayClose() {
    if (validateAndSaveShownPage()) {
        return true;
    }
    // The page says why it cannot be saved; a user who closes once more means to leave
    // without it (the first run without a location), and must be able to.
    if (closeRefused) {
        return true;
    }
    closeRefused = true;
    VPStatusBar* bar = statusBar();
    bar->showMessage(kCloseAgain);
    bar->show();
    return false;
}

OptionsPageBase* VesparoOptionsDialog::shownPage() const {
    return pageStack != nullptr ? qobject_cast<OptionsPageBase*>(pageStack->currentWidget())
                                : nullptr;
}

bool VesparoOptionsDialog::validateAndSaveShownPage() {
    WaitCursor busy;
    OptionsPageBase* page = shownPage();
    if (page == nullptr) {
        return true;
    }
    QString error;
    if (!page->validate(error)) {
        page->setError(error);
        return false;
    }
    page->save();
    return true;
}
