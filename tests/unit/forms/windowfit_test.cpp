#include "forms/windowfit.h"

#include <gtest/gtest.h>

namespace {

// The form's own layout: 1196 × 661 client, device panel 703 wide with its
// bevel at 666, instrument panel 76 high; Windows metrics 23 / 3 / 3.
WindowFitInput Layout(QRect workArea) {
    WindowFitInput in;
    in.designClient = QSize(1196, 661);
    in.selectedPanelWidth = 703;
    in.bevelLeft = 666;
    in.equipmentHeight = 76;
    in.workArea = workArea;
    in.captionHeight = 23;
    in.dialogFrameWidth = 3;
    in.dialogFrameHeight = 3;
    return in;
}

struct FitCase {
    const char *name;
    QRect workArea;
    QSize outer;
    QSize client;
};

TEST(FitMainWindow, ClampsToTheWorkAreaOnlyWhereItIsTooSmall) {
    const FitCase cases[] = {
        {"large", QRect(0, 0, 1920, 1040), QSize(1165, 614), QSize(1159, 585)},
        {"exactly the fitted size", QRect(0, 0, 1202, 614), QSize(1165, 614), QSize(1159, 585)},
        {"one pixel too low", QRect(0, 0, 1920, 613), QSize(1165, 613), QSize(1159, 584)},
        // Narrower than the unnarrowed window: the work area's width, even
        // where that is wider than the narrowed window would be.
        {"narrow", QRect(0, 0, 1100, 1000), QSize(1100, 614), QSize(1094, 585)},
        {"just under the unnarrowed width", QRect(0, 0, 1201, 1000), QSize(1201, 614),
         QSize(1195, 585)},
        {"small and offset", QRect(100, 40, 1024, 560), QSize(1024, 560), QSize(1018, 531)},
    };
    for (const FitCase &c : cases) {
        SCOPED_TRACE(c.name);
        const WindowFit fit = FitMainWindow(Layout(c.workArea));
        EXPECT_EQ(fit.shift, 37);
        EXPECT_EQ(fit.outer, c.outer);
        EXPECT_EQ(fit.client, c.client);
    }
}

struct HintCase {
    const char *name;
    QPoint pos;
    QPoint placed;
};

TEST(PlaceHint, KeepsBottomAndRightTenPixelsInsideTheWorkArea) {
    const QRect workArea(0, 0, 1280, 728); // bottom edge (exclusive) 728, right 1280
    const QSize hint(200, 30);
    const HintCase cases[] = {
        {"fits", QPoint(100, 100), QPoint(100, 100)},
        {"touches the bottom exactly", QPoint(100, 698), QPoint(100, 698)},
        {"one pixel past the bottom", QPoint(100, 699), QPoint(100, 688)},
        {"past the right", QPoint(1200, 100), QPoint(1070, 100)},
        {"past both", QPoint(1279, 727), QPoint(1070, 688)},
        // Top and left are not checked.
        {"above and left", QPoint(-50, -20), QPoint(-50, -20)},
    };
    for (const HintCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PlaceHint(c.pos, hint, workArea), c.placed);
    }
}

TEST(PlaceHint, UsesTheWorkAreaOfAnOffsetMonitor) {
    const QRect secondMonitor(1920, 0, 1280, 1024);
    EXPECT_EQ(PlaceHint(QPoint(3150, 1000), QSize(100, 40), secondMonitor), QPoint(3090, 974));
}

TEST(ChannelPanelPosition, EightPanelsFormACentredGapFreeColumn) {
    const QSize groupBox(1041, 352);
    const QSize panel(785, 40);
    for (int j = 0; j < 8; ++j)
        EXPECT_EQ(ChannelPanelPosition(groupBox, panel, j, 8), QPoint(128, 28 + 40 * j)) << j;
    // Halves truncate toward zero, also for a group box too small for the column.
    EXPECT_EQ(ChannelPanelPosition(QSize(1042, 353), panel, 0, 8), QPoint(128, 28));
    EXPECT_EQ(ChannelPanelPosition(QSize(780, 300), panel, 0, 8), QPoint(-2, 2)); // -2.5 and 2
}

} // namespace
