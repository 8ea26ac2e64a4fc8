#include "forecast/ForecastPanel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QTextEdit>
#include <QTextOption>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <map>
#include <memory>
#include <mutex>

#include "base/Settings.h"
#include "base/SoundPlayer.h"
#include "forecast/ForecastWidget.h"
#include "widgets/ToolTipStyle.h"
#include "widgets/VPDataEvent.h"

using vpcore::ForecastItem_t;
using vpcore::ForecastModel;

namespace {

// The sound timer's id once its sound has played during the current hover.
constexpr int kSoundPlayed = -1;

}  // namespace

// The model keeps its handlers for its whole life and cannot remove one, while a panel may go
// first (a main window destroyed while the location service lives on). So the handler is a
// relay that outlives every panel and forwards only to a panel that still exists; the lock
// makes the panel's destructor wait for a forward that is running on the model's thread.
class ForecastPanel::RebuildRelay {
public:
    explicit RebuildRelay(ForecastPanel* panel) : panel(panel) {}

    void forward() {
        const std::lock_guard<std::mutex> lock(mutex);
        if (panel != nullptr) {
            panel->requestRebuild();
        }
    }
    void detach() {
        const std::lock_guard<std::mutex> lock(mutex);
        panel = nullptr;
    }

    // Relays are kept here, reachable, until the process ends.
    static RebuildRelay* create(ForecastPanel* panel) {
        static std::mutex registryMutex;
        static std::vector<std::unique_ptr<RebuildRelay>> registry;
        const std::lock_guard<std::mutex> lock(registryMutex);
        registry.push_back(std::make_unique<RebuildRelay>(panel));
        return registry.back().get();
    }

private:
    std::mutex mutex;
    ForecastPanel* panel;
};

ForecastPanel::ForecastPanel(std::shared_ptr<ForecastModel> model, QWidget* parent)
    : QGroupBox("Forecast", parent), model(std::move(model)) {
    setupUi();
    if (this->model) {
        relay = RebuildRelay::create(this);
        this->model->registerHandler(
            fastdelegate::FastDelegate0<void>(relay, &RebuildRelay::forward));
    }
}

ForecastPanel::~ForecastPanel() {
    if (relay != nullptr) {
        relay->detach();
    }
}

void ForecastPanel::requestRebuild() {
    QCoreApplication::postEvent(this, new VPDataEventForecastItemsReady());
}

bool ForecastPanel::event(QEvent* e) {
    if (e->type() == VPDataEvent<QString>::eventType()) {
        rebuildItems();
        return true;
    }
    return QGroupBox::event(e);
}

void ForecastPanel::onWidgetHover(ForecastWidget* card, bool leaving) {
    if (leaving) {
        if (soundTimerId > 0) {
            killTimer(soundTimerId);
        }
        soundTimerId = 0;
        textBox->setPlainText(QString());
        return;
    }
    const ForecastItem_t* item = card->getForecastItem();
    if (item == nullptr) {
        textBox->setPlainText(QString());
        return;
    }
    playWeatherSound(item);
    textBox->setPlainText(QString::fromStdString(item->longDesc));
}

QString ForecastPanel::soundFileFor(int condition) {
    static const std::map<int, QString> files = {
        {ForecastItem_t::CONDITION_SUNNY, "resources/birds_sunny.wav"},
        {ForecastItem_t::CONDITION_NIGHT, "resources/crickets_night.wav"},
        {ForecastItem_t::CONDITION_RAIN, "resources/rain.wav"},
        {ForecastItem_t::CONDITION_THUNDERSTORM, "resources/thunderstorm.wav"},
        {ForecastItem_t::CONDITION_WINDY, "resources/windy.wav"},
        {ForecastItem_t::CONDITION_SNOW, "resources/wind_snow.wav"},
    };
    const auto found = files.find(condition);
    return found == files.end() ? QString() : found->second;
}

void ForecastPanel::timerEvent(QTimerEvent* e) {
    if (e->timerId() != soundTimerId) {
        QGroupBox::timerEvent(e);
        return;
    }
    playSound(soundFile);
    killTimer(e->timerId());
    // Not 0: no second sound until the pointer has left the card. Not the dead id either, which
    // Qt may hand to another timer.
    soundTimerId = kSoundPlayed;
}

bool ForecastPanel::isSoundAvailable() const {
    return SoundPlayer::instance().isAvailable();
}

void ForecastPanel::playSound(const QString& file) {
    SoundPlayer::instance().play(file);
}

void ForecastPanel::setupUi() {
    QVBoxLayout* layout = new QVBoxLayout;

    // The cards' tips open under these sheets: they keep colours of their own.
    const QString transparent = QString("background: transparent; ") + TOOL_TIP_STYLE;
    QWidget* content = new QWidget;
    content->setStyleSheet(transparent);
    QScrollArea* scrollArea = new QScrollArea;
    scrollArea->setStyleSheet(transparent);

    rowLayout = new QHBoxLayout;
    rowLayout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    // The cards fill the height the scroll area shows: it scrolls sideways only.
    rowLayout->setContentsMargins(rowLayout->contentsMargins().left(), 0,
                                  rowLayout->contentsMargins().right(), 0);
    content->setLayout(rowLayout);
    scrollArea->setWidget(content);

    textBox = new QTextEdit;
    textBox->setStyleSheet(transparent);
    textBox->setReadOnly(true);
    textBox->setWordWrapMode(QTextOption::WordWrap);
    textBox->setMaximumHeight(165);

    layout->addWidget(scrollArea);
    layout->addWidget(textBox);
    setLayout(layout);
}

void ForecastPanel::rebuildItems() {
    if (rowLayout == nullptr) {
        return;
    }
    for (ForecastWidget* card : cards) {
        card->removeHoverHandler(ForecastWidget::HoverHandler(this, &ForecastPanel::onWidgetHover));
        rowLayout->removeWidget(card);
        card->deleteLater();
    }
    cards.clear();

    // The model hands out copies that become ours; each card frees the one it shows.
    std::vector<ForecastItem_t*> items;
    if (model) {
        model->getForecastItems(items);
    }
    for (ForecastItem_t* item : items) {
        ForecastWidget* card = new ForecastWidget(item, nullptr);
        card->setMinimumSize(152, 158);
        card->addHoverHandler(ForecastWidget::HoverHandler(this, &ForecastPanel::onWidgetHover));
        rowLayout->addWidget(card);
        cards.push_back(card);
    }
}

void ForecastPanel::playWeatherSound(const ForecastItem_t* item) {
    if (!isSoundAvailable() || !readBoolSetting("PLAY_SOUNDS")) {
        return;
    }
    const QString file = soundFileFor(item->condition);
    if (!file.isEmpty() && soundTimerId == 0) {
        soundFile = file;
        soundTimerId = startTimer(600);
    }
}
