#include "LocationWidget.h"

#include <QVBoxLayout>

#include "options/VesparoOptionsDialog.h"
#include "services/PropIds.h"

LocationWidget::LocationWidget(QWidget* parent)
    : QWidget(parent),
      model(vpcore::PROP_CURRENT_LOCATION, 0, 2),
      label(new DoubleSidedDataWidget<vpcore::DoubleSidedPresentationModel<std::string>>(&model,
                                                                                         this)) {
    // Without a layout the banner would keep a child's default size and clip its label.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    label->setProperty("playsound", "drop");
    setCursor(Qt::PointingHandCursor);
    const std::string none;
    const std::string invitation = "< CLICK HERE TO SET YOUR WEATHER LOCATION >";
    vpcore::NotificationService::Instance().notify<std::string>(vpcore::PROP_CURRENT_LOCATION,
                                                                &none, &invitation);
}

void LocationWidget::setLabelMinimumSize(int width, int height) {
    label->setMinimumSize(width, height);
}

void LocationWidget::mousePressEvent(QMouseEvent*) {
    VesparoOptionsDialog dialog(this);
    dialog.exec();
}
