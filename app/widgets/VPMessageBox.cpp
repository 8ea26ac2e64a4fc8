#include "VPMessageBox.h"

namespace {

VPMessageBox::Shower& shower() {
    static VPMessageBox::Shower instance;
    return instance;
}

}  // namespace

void VPMessageBox::critical(QWidget* parent, const QString& title, const QString& text) {
    show(QMessageBox::Critical, parent, title, text);
}

void VPMessageBox::information(QWidget* parent, const QString& title, const QString& text) {
    show(QMessageBox::Information, parent, title, text);
}

void VPMessageBox::setShower(Shower replacement) {
    shower() = std::move(replacement);
}

void VPMessageBox::show(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                        const QString& text) {
    if (shower()) {
        shower()(icon, parent, title, text);
        return;
    }
    if (icon == QMessageBox::Critical) {
        QMessageBox::critical(parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
    } else {
        QMessageBox::information(parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
    }
}
