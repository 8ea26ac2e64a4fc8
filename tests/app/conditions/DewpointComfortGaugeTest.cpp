#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QTimerEvent>
#include <QToolButton>
#include <algorithm>
#include <tuple>

#include "AppTestSupport.h"
#include "FramelessWindowChecks.h"
#include "conditions/DewpointComfortGauge.h"
#include "display/DewpointComfortLevel.h"

namespace {

using vpcore::DewpointComfortLevel;

const QString kLarge = "font-size: 14px";
const QString kSmall = "font-size: 12px";

QLabel* child(QLabel* row, int item) {
    return qobject_cast<QLabel*>(row->layout()->itemAt(item)->widget());
}

// Which rows carry the frame, as a string of '#' (framed) and '.' (not), and whether every
// row's texts are large exactly when it is framed.
std::string frames(const DewpointComfortGauge& gauge) {
    std::string result;
    for (QLabel* row : gauge.getRows()) {
        const bool framed = row->styleSheet() == DewpointComfortGauge::FRAME_ON_STYLE;
        result += framed ? '#' : '.';
        for (int item = 0; item < 2; ++item) {
            const bool large = child(row, item)->styleSheet().contains(kLarge);
            if (large != framed) {
                result += '!';
            }
        }
    }
    return result;
}

// One tick of the window's timer, delivered as its own timer would deliver it.
void tick(DewpointComfortGauge& gauge) {
    QTimerEvent event(0);
    QCoreApplication::sendEvent(&gauge, &event);
}

std::string framedAt(std::size_t index, std::size_t count) {
    std::string result(count, '.');
    result[index] = '#';
    return result;
}

TEST(DewpointComfortGaugeTest, TheWindowKeepsItsSizeAndSaysWhatItShows) {
    DewpointComfortGauge gauge("Comfortable", nullptr);
    apptest::expectAFixedWellShapedWindow(gauge, QSize(600, 500), "Ombrix - Dew Point Comfort");
}

TEST(DewpointComfortGaugeTest, RowsShowEveryLevelOnItsColourWithTheCurrentOneLarge) {
    DewpointComfortGauge gauge("Comfortable", nullptr);
    const std::vector<std::string> levels = DewpointComfortLevel::comfortLevels();
    ASSERT_EQ(gauge.getRows().size(), levels.size());
    EXPECT_EQ(gauge.size(), QSize(600, 500));
    EXPECT_TRUE(gauge.findChild<QToolButton*>("btnClose2")->isVisibleTo(&gauge));
    EXPECT_FALSE(gauge.findChild<QToolButton*>("btnClose")->isVisibleTo(&gauge));
    EXPECT_FALSE(gauge.findChild<QToolButton*>("btnConfigure")->isVisibleTo(&gauge));

    for (std::size_t i = 0; i < levels.size(); ++i) {
        SCOPED_TRACE(levels[i]);
        QLabel* row = gauge.getRows()[i];
        EXPECT_EQ(child(row, 0)->text().toStdString(), levels[i]);
        EXPECT_EQ(child(row, 1)->text().toStdString(),
                  DewpointComfortLevel::description(levels[i]));
        const auto colour = DewpointComfortLevel::colorCode(levels[i]);
        const QString rgb = QString("rgb(%1, %2, %3)")
                                .arg(std::get<0>(colour))
                                .arg(std::get<1>(colour))
                                .arg(std::get<2>(colour));
        const bool current = levels[i] == "Comfortable";
        EXPECT_EQ(gauge.getCurrentRow() == row, current);
        for (int item = 0; item < 2; ++item) {
            EXPECT_TRUE(child(row, item)->styleSheet().contains(rgb));
            EXPECT_TRUE(child(row, item)->styleSheet().contains(current ? kLarge : kSmall));
        }
        // Before the first tick no row has a frame.
        EXPECT_NE(row->styleSheet(), DewpointComfortGauge::FRAME_ON_STYLE);
    }
}

TEST(DewpointComfortGaugeTest, TheFrameRunsDownTwiceThenTheCurrentRowBlinksAndKeepsIt) {
    DewpointComfortGauge gauge("Oppressive", nullptr);
    const std::vector<std::string> levels = DewpointComfortLevel::comfortLevels();
    const std::size_t count = levels.size();
    const std::size_t current =
        std::find(levels.begin(), levels.end(), "Oppressive") - levels.begin();

    for (std::size_t step = 0; step < 2 * count; ++step) {
        SCOPED_TRACE(step);
        tick(gauge);
        EXPECT_EQ(frames(gauge), framedAt(step % count, count));
    }
    const std::string none(count, '.');
    const std::string blinks[] = {none, framedAt(current, count), none, framedAt(current, count)};
    for (const std::string& expected : blinks) {
        tick(gauge);
        EXPECT_EQ(frames(gauge), expected);
    }
    // The sequence is over: the current row stays framed.
    for (int i = 0; i < 3; ++i) {
        tick(gauge);
        EXPECT_EQ(frames(gauge), framedAt(current, count));
    }
}

TEST(DewpointComfortGaugeTest, ALevelThatMatchesNoRowBlinksNothing) {
    for (const char* level : {"", "Humid", "comfortable"}) {
        SCOPED_TRACE(level);
        DewpointComfortGauge gauge(level, nullptr);
        EXPECT_EQ(gauge.getCurrentRow(), nullptr);
        const std::size_t count = gauge.getRows().size();
        for (QLabel* row : gauge.getRows()) {
            EXPECT_TRUE(child(row, 0)->styleSheet().contains(kSmall));
        }
        for (std::size_t step = 0; step < 2 * count + 8; ++step) {
            tick(gauge);
        }
        EXPECT_EQ(frames(gauge), std::string(count, '.'));
    }
}

TEST(DewpointComfortGaugeTest, ItsOwnTimerMovesTheFrame) {
    DewpointComfortGauge gauge("Dry", nullptr);
    gauge.show();
    EXPECT_TRUE(apptest::waitFor([&] {
        const std::size_t framed = frames(gauge).find('#');
        return framed != std::string::npos && framed > 0;
    }));
    EXPECT_EQ(frames(gauge).find('!'), std::string::npos);
}

}  // namespace
