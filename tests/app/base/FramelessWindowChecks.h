// Checks that every frameless window of the program passes: it keeps the size it is laid out
// for whatever a window manager (or the program) asks, the status bar stays along its bottom
// edge, and the busy indicator lies wholly inside the rounded shape.
#pragma once

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QRegion>
#include <QString>
#include <QTest>

#include "AppTestSupport.h"
#include "base/VespWindow.h"
#include "widgets/VPStatusBar.h"

namespace apptest {

inline void expectAFixedWellShapedWindow(VespWindow& window, const QSize& size,
                                         const QString& title) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), title);
    EXPECT_EQ(window.size(), size);
    // A window manager reads the fixed size from the minimum and maximum it is given.
    EXPECT_EQ(window.minimumSize(), size);
    EXPECT_EQ(window.maximumSize(), size);
    for (const QSize& asked : {size + QSize(300, 200), size - QSize(200, 150)}) {
        SCOPED_TRACE(testing::Message() << asked.width() << "x" << asked.height());
        window.resize(asked);
        drainEvents();
        EXPECT_EQ(window.size(), size);
    }

    VPStatusBar* bar = window.statusBar();
    bar->show();
    drainEvents();
    EXPECT_EQ(bar->geometry(), QRect(40, size.height() - 20, size.width() - 80, 22));
    QProgressBar* busy = bar->progressBarWidget();
    ASSERT_TRUE(busy->isVisible());
    const QRect indicator(busy->mapTo(&window, QPoint(0, 0)), busy->size());
    EXPECT_TRUE(QRegion(indicator).subtracted(window.mask()).isEmpty())
        << "the rounded corner covers the busy indicator at " << indicator.x() << ","
        << indicator.y() << " " << indicator.width() << "x" << indicator.height();
}

}  // namespace apptest
