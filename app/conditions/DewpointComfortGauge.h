// The comfort-level window: every dew-point comfort level as a row on its own colour; a black
// frame runs down the rows twice, then the row of the current level blinks and keeps the frame.
// Opened modally by the current-conditions panel; GUI thread only.
#pragma once

#include <QString>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/VespWindow.h"

class QLabel;

class DewpointComfortGauge : public VespWindow {
public:
    // A level that names no row leaves every row unframed once the sweep has ended.
    DewpointComfortGauge(const std::string& currentLevel, QWidget* parent);
    ~DewpointComfortGauge() override;

    void init() override;

    // The row labels in level order, and the current level's row (null when none matches).
    const std::vector<QLabel*>& getRows() const { return rows; }
    QLabel* getCurrentRow() const { return currentRow; }

    static const char* const FRAME_ON_STYLE;
    static const char* const FRAME_OFF_STYLE;

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    void sweepStep();
    void blinkStep();
    void applyRowStyle(QLabel* row, const QString& rowStyle);

    std::string currentLevel;
    int timerId = 0;  // 0 when no timer was started
    std::vector<QLabel*> rows;
    QLabel* currentRow = nullptr;
    QLabel* sweepPosition = nullptr;  // the row the running frame is on
    unsigned int stepCounter = 0;     // full sweeps, then blink steps
    bool blinkPhase = false;
    std::map<QLabel*, std::pair<QString, QString>> rowStyles;  // row -> (large, small) style
};
