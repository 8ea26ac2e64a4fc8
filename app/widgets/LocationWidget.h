// The banner at the top of the main window: the current location (property 17), or an
// invitation to set one while none is current. A click is told through clicked(); the window
// that shows the banner decides what it opens. Built on the GUI thread after the location
// service has registered property 17.
#pragma once

#include <QWidget>
#include <string>

#include "widgets/DoubleSidedDataWidget.h"
#include "widgets/DoubleSidedPresentationModel.h"

class LocationWidget : public QWidget {
    Q_OBJECT

public:
    explicit LocationWidget(QWidget* parent);

    void setLabelMinimumSize(int width, int height);

    DoubleSidedDataWidget<vpcore::DoubleSidedPresentationModel<std::string>>* labelWidget() const {
        return label;
    }

signals:
    // Any button was pressed on the banner.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;

private:
    // The current location's name; for none (an empty name) the invitation to set one.
    class BannerModel : public vpcore::DoubleSidedPresentationModel<std::string> {
    public:
        BannerModel();
        void handlePropertyChange(short propId, const std::string* const oldValue,
                                  const std::string* const newValue) override;
    };

    // Members go before the Qt children, so the model stops listening before its widget goes.
    BannerModel model;
    DoubleSidedDataWidget<vpcore::DoubleSidedPresentationModel<std::string>>* label;
};
