// One forecast period as a card of the forecast panel: name, icon, short condition text and
// the "Hi"/"Lo" temperature. Hovering turns its text black and tells the panel. The card owns
// the record it shows. GUI thread only.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "services/FastDelegate.h"
#include "weather/ForecastItem_t.h"

class QEnterEvent;

class ForecastWidget : public QWidget {
public:
    // Called as handler(card, leaving); leaving is true when the pointer leaves the card.
    typedef fastdelegate::FastDelegate2<ForecastWidget*, bool> HoverHandler;
    typedef fastdelegate::FastDelegate2<QWidget*, bool> WidgetFunction;

    // Takes ownership of item.
    ForecastWidget(vpcore::ForecastItem_t* item, QWidget* parent);
    ~ForecastWidget() override;

    vpcore::ForecastItem_t* getForecastItem() const;

    void addHoverHandler(HoverHandler handler);
    // Removes every handler equal to the one given.
    void removeHoverHandler(HoverHandler handler);

    // Black text when highlighted, white otherwise; widgets other than labels are left alone.
    virtual void setLabelColor(QWidget* widget, bool highlighted);

protected:
    void showEvent(QShowEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setupUi();
    // The text's label is at least three lines high in its current font.
    void reserveTextLines();
    void notifyHoverHandlers(bool leaving);
    // f on widget, then on every widget below it, at any depth.
    void applyToChildren(QWidget* widget, WidgetFunction f, bool flag);

    std::unique_ptr<vpcore::ForecastItem_t> item;
    std::vector<HoverHandler> hoverHandlers;
};
