#include "widgets/LocationWidget.h"

#include <QVBoxLayout>

#include "services/PropIds.h"

namespace {

const std::string kInvitation = "< CLICK HERE TO SET YOUR WEATHER LOCATION >";

}  // namespace

LocationWidget::BannerModel::BannerModel()
    : vpcore::DoubleSidedPresentationModel<std::string>(vpcore::PROP_CURRENT_LOCATION, 0, 2) {}

void LocationWidget::BannerModel::handlePropertyChange(short propId,
                                                       const std::string* const oldValue,
                                                       const std::string* const newValue) {
    // The location service announces an empty name once the current location is deleted.
    const std::string* shown = newValue->empty() ? &kInvitation : newValue;
    vpcore::DoubleSidedPresentationModel<std::string>::handlePropertyChange(propId, oldValue,
                                                                            shown);
}

LocationWidget::LocationWidget(QWidget* parent)
    : QWidget(parent),
      label(new DoubleSidedDataWidget<vpcore::DoubleSidedPresentationModel<std::string>>(&model,
                                                                                         this)) {
    // Without a layout the banner would keep a child's default size and clip its label.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    label->setProperty("playsound", "drop");
    setCursor(Qt::PointingHandCursor);
    // Shown here, not published: the invitation is no location, and other listeners of the
    // current location must never take it for one.
    label->textLabel()->setText(QString::fromStdString(kInvitation));
}

void LocationWidget::setLabelMinimumSize(int width, int height) {
    label->setMinimumSize(width, height);
}

void LocationWidget::mousePressEvent(QMouseEvent*) {
    emit clicked();
}
