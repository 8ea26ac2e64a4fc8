#include "forecast/ForecastWidget.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "widgets/ToolTipStyle.h"
#include "widgets/VPLabel.h"

using vpcore::ForecastItem_t;

ForecastWidget::ForecastWidget(ForecastItem_t* item, QWidget* parent)
    : QWidget(parent), item(item) {
    setupUi();
}

ForecastWidget::~ForecastWidget() = default;

ForecastItem_t* ForecastWidget::getForecastItem() const {
    return item.get();
}

void ForecastWidget::addHoverHandler(HoverHandler handler) {
    hoverHandlers.push_back(handler);
}

void ForecastWidget::removeHoverHandler(HoverHandler handler) {
    hoverHandlers.erase(std::remove(hoverHandlers.begin(), hoverHandlers.end(), handler),
                        hoverHandlers.end());
}

void ForecastWidget::setLabelColor(QWidget* widget, bool highlighted) {
    QLabel* label = qobject_cast<QLabel*>(widget);
    if (label == nullptr) {
        return;
    }
    // The text's tip opens under the label's own sheet, whose QLabel rule it matches too.
    label->setStyleSheet(
        QString(highlighted
                    ? "QLabel { color: black; font-family: Helvetica; font-size: 12px; } "
                    : "QLabel { color: white; font-family: Helvetica; font-size: 12px; } ") +
        TOOL_TIP_STYLE);
}

void ForecastWidget::reserveTextLines() {
    QLabel* text = findChild<QLabel*>("shortDesc");
    if (text == nullptr) {
        return;
    }
    const int height = VPLabel::heightOfLines(*text, 3);
    if (text->minimumHeight() != height) {
        text->setMinimumHeight(height);
    }
}

void ForecastWidget::showEvent(QShowEvent* event) {
    reserveTextLines();
    QWidget::showEvent(event);
}

void ForecastWidget::enterEvent(QEnterEvent* event) {
    applyToChildren(this, WidgetFunction(this, &ForecastWidget::setLabelColor), true);
    notifyHoverHandlers(false);
    QWidget::enterEvent(event);
}

void ForecastWidget::leaveEvent(QEvent* event) {
    applyToChildren(this, WidgetFunction(this, &ForecastWidget::setLabelColor), false);
    notifyHoverHandlers(true);
    QWidget::leaveEvent(event);
}

void ForecastWidget::setupUi() {
    setMouseTracking(true);
    QVBoxLayout* layout = new QVBoxLayout;
    // Tight enough that three lines of text fit the card's 158 pixels with the icon.
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(2);

    QLabel* name = new QLabel(QString::fromStdString(item ? item->periodName : std::string()));
    name->setObjectName("periodName");

    QLabel* icon = new QLabel;
    icon->setObjectName("icon");
    // The provider leaves the icon null, or an empty image, when it could not fetch it.
    if (item && item->icon && !item->icon->isNull()) {
        icon->setPixmap(QPixmap::fromImage(*item->icon));
    } else {
        icon->setText("No image");
    }

    QLabel* text = new QLabel(QString::fromStdString(item ? item->shortDesc : std::string()));
    text->setObjectName("shortDesc");
    // The NWS's short texts run to about 45 characters, three times a card's width: they wrap
    // onto up to three lines, and the tool tip holds the whole text whatever the card shows.
    text->setWordWrap(true);
    text->setToolTip(text->text());
    // Every card gives its text the room of three lines, from the top: a text of one line or
    // three then leaves the rows of all cards (name, icon, text, temperature) in line.
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QWidget* row = new QWidget;
    QHBoxLayout* rowLayout = new QHBoxLayout;
    rowLayout->setContentsMargins(0, 0, 0, 0);
    QLabel* hiLo = new QLabel(QString::fromStdString(item ? item->hiLoLabel : std::string()) + ":");
    hiLo->setObjectName("hiLoLabel");
    hiLo->setMaximumWidth(20);
    QLabel* temperature = new QLabel(item ? QString::number(item->temperature, 10) : QString());
    temperature->setObjectName("temperature");
    rowLayout->addWidget(hiLo);
    rowLayout->addWidget(temperature);
    row->setLayout(rowLayout);

    layout->addWidget(name);
    layout->addWidget(icon);
    layout->addWidget(text);
    layout->addWidget(row);
    setLayout(layout);
}

void ForecastWidget::notifyHoverHandlers(bool leaving) {
    // A copy: a handler may remove itself while the list is walked.
    const std::vector<HoverHandler> handlers = hoverHandlers;
    for (const HoverHandler& handler : handlers) {
        handler(this, leaving);
    }
}

void ForecastWidget::applyToChildren(QWidget* widget, WidgetFunction f, bool flag) {
    f(widget, flag);
    for (QObject* child : widget->children()) {
        if (child->isWidgetType()) {
            applyToChildren(static_cast<QWidget*>(child), f, flag);
        }
    }
}
