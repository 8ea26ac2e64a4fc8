#include "conditions/DewpointComfortGauge.h"

#include <QGridLayout>
#include <QLabel>
#include <QLayoutItem>
#include <QTimerEvent>
#include <tuple>

#include "display/DewpointComfortLevel.h"

using vpcore::DewpointComfortLevel;

const char* const DewpointComfortGauge::FRAME_ON_STYLE =
    "QLabel { border-width: 3px; border-style: solid; border-color: black; }";
const char* const DewpointComfortGauge::FRAME_OFF_STYLE = "QLabel { border: none; }";

namespace {

const char* const kLargeChildStyle =
    "QLabel { color: white; background-color: rgb($bgcolor$); font-family: Helvetica; "
    "font-size: 14px; border: none;}";
const char* const kSmallChildStyle =
    "QLabel { color: white; background-color: rgb($bgcolor$); font-family: Helvetica; "
    "font-size: 12px; }";

const int kSweepIntervalMs = 60;
const int kBlinkIntervalMs = 300;
const unsigned int kSweeps = 2;
const unsigned int kBlinkSteps = 4;

QString withColour(const char* style, const std::string& level) {
    const std::tuple<int, int, int> colour = DewpointComfortLevel::colorCode(level);
    const QString rgb = QString("%1, %2, %3")
                            .arg(std::get<0>(colour))
                            .arg(std::get<1>(colour))
                            .arg(std::get<2>(colour));
    return QString(style).replace("$bgcolor$", rgb, Qt::CaseSensitive);
}

}  // namespace

DewpointComfortGauge::DewpointComfortGauge(const std::string& currentLevel, QWidget* parent)
    : VespWindow(parent), currentLevel(currentLevel) {
    setCloseButtonShown(true);
    setConfigureButtonShown(false);
    setUpWindow();
}

DewpointComfortGauge::~DewpointComfortGauge() {
    if (timerId != 0) {
        killTimer(timerId);
    }
}

void DewpointComfortGauge::init() {
    // The rows are laid out for this size.
    setFixedSize(600, 500);
    setWindowTitle("Ombrix - Dew Point Comfort");
    QWidget* content = contentWidget();
    auto* outer = new QGridLayout();
    outer->setSpacing(0);
    int gridRow = 0;
    for (const std::string& level : DewpointComfortLevel::comfortLevels()) {
        auto* row = new QLabel(content);
        const bool current = level == currentLevel;
        if (current) {
            currentRow = row;
        }
        rows.push_back(row);
        auto* rowLayout = new QGridLayout(row);
        rowLayout->setHorizontalSpacing(0);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        const QString large = withColour(kLargeChildStyle, level);
        const QString small = withColour(kSmallChildStyle, level);
        rowStyles[row] = std::make_pair(large, small);
        const QString& childStyle = current ? large : small;

        auto* name = new QLabel(QString::fromStdString(level), row);
        name->setStyleSheet(childStyle);
        name->setIndent(3);
        rowLayout->addWidget(name, 0, 0);
        auto* description =
            new QLabel(QString::fromStdString(DewpointComfortLevel::description(level)), row);
        description->setStyleSheet(childStyle);
        rowLayout->addWidget(description, 0, 1);

        outer->addWidget(row, gridRow++, 0);
    }
    content->setLayout(outer);
    timerId = startTimer(kSweepIntervalMs);
}

void DewpointComfortGauge::timerEvent(QTimerEvent*) {
    if (!blinkPhase && stepCounter < kSweeps) {
        sweepStep();
        if (stepCounter == kSweeps) {
            blinkPhase = true;
            stepCounter = 0;
            killTimer(timerId);
            timerId = startTimer(kBlinkIntervalMs);
        }
    } else if (stepCounter >= kBlinkSteps) {
        killTimer(timerId);
        timerId = 0;
    } else {
        blinkStep();
    }
}

void DewpointComfortGauge::sweepStep() {
    if (rows.empty()) {
        return;
    }
    if (sweepPosition == nullptr) {
        sweepPosition = rows.front();
    }
    QLabel* next = rows.front();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == sweepPosition) {
            applyRowStyle(rows[i], FRAME_ON_STYLE);
            next = i + 1 < rows.size() ? rows[i + 1] : rows.front();
        } else {
            applyRowStyle(rows[i], FRAME_OFF_STYLE);
        }
    }
    sweepPosition = next;
    if (sweepPosition == rows.front()) {
        ++stepCounter;
    }
}

void DewpointComfortGauge::blinkStep() {
    if (stepCounter == 0) {
        for (QLabel* row : rows) {
            applyRowStyle(row, FRAME_OFF_STYLE);
        }
    } else if (currentRow != nullptr) {
        applyRowStyle(currentRow, stepCounter % 2 == 1 ? FRAME_ON_STYLE : FRAME_OFF_STYLE);
    }
    ++stepCounter;
}

void DewpointComfortGauge::applyRowStyle(QLabel* row, const QString& rowStyle) {
    row->setStyleSheet(rowStyle);
    const std::pair<QString, QString>& styles = rowStyles[row];
    const QString& childStyle = rowStyle == FRAME_ON_STYLE ? styles.first : styles.second;
    QLayout* layout = row->layout();
    for (int item = 0; item < 2; ++item) {
        QLayoutItem* entry = layout->itemAt(item);
        if (entry != nullptr && entry->widget() != nullptr) {
            entry->widget()->setStyleSheet(childStyle);
        }
    }
}
