#include "radar/ImageryWidget.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "widgets/PageSwitcher.h"
#include "widgets/VPLinkLabel.h"

ImageryWidget::ImageryWidget(QWidget* parent) : QWidget(parent) {
    pictureLabel = new QLabel("No images available.", this);
    pictureLabel->setObjectName("pictureLabel");
    pictureLabel->setAlignment(Qt::AlignCenter);
    auto* closeLink = new VPLinkLabel(this);
    closeLink->setObjectName("closeLink");
    closeLink->setText("Back to Current Conditions");
    auto* layout = new QVBoxLayout(this);
    // Without margins the radar picture (580 x 530) and the link fit the 560-pixel page whole.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pictureLabel);
    layout->addWidget(closeLink);
    connect(closeLink, &VPLinkLabel::clicked, this, &ImageryWidget::onCloseLinkClicked);
}

ImageryWidget::~ImageryWidget() {
    hideHandler = nullptr;
    showHandler = nullptr;
    emit aboutToBeDestroyed(this);
}

void ImageryWidget::setImage(const QImage& image) {
    pictureLabel->setPixmap(QPixmap::fromImage(image));
}

void ImageryWidget::setText(const QString& text) {
    pictureLabel->setText(text);
}

void ImageryWidget::setHideHandler(std::function<void()> handler) {
    hideHandler = std::move(handler);
}

void ImageryWidget::setShowHandler(std::function<void()> handler) {
    showHandler = std::move(handler);
}

void ImageryWidget::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (showHandler) {
        showHandler();
    }
}

void ImageryWidget::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (hideHandler) {
        hideHandler();
    }
}

void ImageryWidget::onCloseLinkClicked(VPLinkLabel*) {
    emit backLinkClicked();
    hideHandler = nullptr;
    showHandler = nullptr;
    if (PageSwitcher* pages = PageSwitcher::of(this)) {
        pages->setCurrentPage(PageSwitcher::CONDITIONS_PAGE);
    }
}
