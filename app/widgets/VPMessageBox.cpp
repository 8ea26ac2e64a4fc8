#include "widgets/VPMessageBox.h"

#include <QTimer>

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

QMessageBox* VPMessageBox::informationLater(QWidget* parent, const QString& title,
                                            const QString& text) {
    if (shower()) {
        shower()(QMessageBox::Information, parent, title, text);
        return nullptr;
    }
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QTimer::singleShot(0, box, &QWidget::show);
    return box;
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
