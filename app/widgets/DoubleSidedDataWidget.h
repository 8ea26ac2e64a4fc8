// Shows the text of a DoubleSidedPresentationModel in a VPLabel and flips the model's side on a
// click. The model calls postText on the publishing thread; the text reaches the label as a
// posted event. The model (not owned) must outlive the widget's last notification.
#pragma once

#include <QCoreApplication>
#include <QGridLayout>
#include <QWidget>
#include <functional>
#include <string>

#include "widgets/VPDataEvent.h"
#include "widgets/VPLabel.h"

template <class M>
class DoubleSidedDataWidget : public QWidget {
public:
    DoubleSidedDataWidget(M* model, QWidget* parent) : QWidget(parent), model(model) {
        setupUi();
        if (model->getSide() != 2) {
            setCursor(Qt::PointingHandCursor);
        }
    }

    // Called after each click; also gives a single-sided widget the pointing hand.
    void setClickHandler(std::function<void()> handler) {
        clickHandler = std::move(handler);
        setCursor(Qt::PointingHandCursor);
    }

    void setLabelStyleSheet(const QString& styleSheet) { label->setStyleSheet(styleSheet); }

    VPLabel* textLabel() const { return label; }

    void postText(const std::string& text) {
        if (label != nullptr) {
            QCoreApplication::postEvent(label,
                                        new VPDataEventQString(QString::fromStdString(text)));
        }
    }

protected:
    void mouseReleaseEvent(QMouseEvent*) override {
        postText(model->toggleSide(true));
        if (clickHandler) {
            clickHandler();
        }
    }

private:
    void setupUi() {
        auto* layout = new QGridLayout();
        layout->setContentsMargins(0, 0, 0, 0);
        label = new VPLabel(this);
        layout->addWidget(label, 0, 0);
        setLayout(layout);
        model->setDisplayTextChangedDelegate(fastdelegate::FastDelegate1<const std::string&>(
            this, &DoubleSidedDataWidget::postText));
    }

    M* model;
    VPLabel* label = nullptr;  // a Qt child of the widget
    std::function<void()> clickHandler;
};
