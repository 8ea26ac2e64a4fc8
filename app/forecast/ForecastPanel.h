// The forecast by 12-hour periods: a scrollable row of cards and, under it, the worded forecast
// of the card under the pointer, with an ambience sound for its weather after 600 ms. The
// forecast model announces new periods on the scheduler's runner thread (requestRebuild); the
// panel rebuilds its cards on the GUI thread. It may be destroyed before the model: from then on
// the model's announcements reach nothing.
#pragma once

#include <QGroupBox>
#include <QString>
#include <memory>
#include <vector>

#include "weather/ForecastItem_t.h"
#include "weather/ForecastModel.h"

class ForecastWidget;
class QHBoxLayout;
class QTextEdit;

class ForecastPanel : public QGroupBox {
    Q_OBJECT
public:
    ForecastPanel(std::shared_ptr<vpcore::ForecastModel> model, QWidget* parent);
    ~ForecastPanel() override;

    // Called by the model, on whatever thread it updates on; only posts an event to the panel.
    virtual void requestRebuild();

    bool event(QEvent* e) override;

    // The hover handler of every card: the worded forecast and the sound while the pointer is
    // on a card, nothing once it leaves.
    void onWidgetHover(ForecastWidget* card, bool leaving);

    // The ambience file ("resources/....wav", relative to the program's folder) for a
    // condition, or an empty text for a value that has none.
    static QString soundFileFor(int condition);

protected:
    void timerEvent(QTimerEvent* e) override;

    // Whether an audio output device exists; without one hovering plays nothing.
    virtual bool isSoundAvailable() const;
    // Hands the file to the program's sound player, which plays it without waiting.
    void playSound(const QString& file);

private:
    void setupUi();
    void rebuildItems();
    void playWeatherSound(const vpcore::ForecastItem_t* item);

    class RebuildRelay;

    RebuildRelay* relay = nullptr;  // the model's handler; outlives the panel
    QHBoxLayout* rowLayout = nullptr;
    QTextEdit* textBox = nullptr;
    std::vector<ForecastWidget*> cards;  // children of the row, in model order
    std::shared_ptr<vpcore::ForecastModel> model;
    // The pending sound's timer, 0 when none is pending, and -1 once the sound has played
    // during this hover, so that one hover plays once.
    int soundTimerId = 0;
    QString soundFile;
};
