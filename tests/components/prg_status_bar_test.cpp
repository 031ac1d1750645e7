#include <gtest/gtest.h>

#include <QProgressBar>

#include "components/prg_status_bar.h"

namespace {

TEST(PrgStatusBarTest, ProgressBarStartsHiddenOverTheFirstPanel) {
    TPrgStatusBar bar;
    ASSERT_EQ(bar.PanelCount(), 1);
    EXPECT_EQ(bar.Panel(0).Bevel, pbNone);
    QProgressBar* progress = bar.ProgressBar();
    EXPECT_EQ(progress->objectName(), "ProgressBar");
    EXPECT_EQ(progress->parent(), &bar);
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_TRUE(progress->isHidden());
}

TEST(PrgStatusBarTest, ProgressBarFollowsResizesAndPanelWidths) {
    TPrgStatusBar bar;
    int resizes = 0;
    bar.OnResize = [&resizes](TPrgStatusBar*) { ++resizes; };
    bar.SetPanels({{QString(), 80}, {QStringLiteral("second"), 120}, {QString(), 50}});
    bar.resize(600, 22);
    bar.show();
    EXPECT_GE(resizes, 1);
    EXPECT_EQ(bar.ProgressBar()->geometry(), QRect(0, 1, 80, 20));
    // The last panel reaches to the right edge.
    EXPECT_EQ(bar.PanelRect(2).right(), 599);

    bar.resize(600, 30);
    EXPECT_EQ(bar.ProgressBar()->geometry(), QRect(0, 1, 80, 28));
    bar.SetPanelWidth(0, 150);
    EXPECT_EQ(bar.ProgressBar()->width(), 150);
    bar.SetPanelText(1, QStringLiteral("テキスト"));
    EXPECT_EQ(bar.Panel(1).Text, "テキスト");
    bar.SetPanelText(7, QStringLiteral("ignored"));
}

}  // namespace
