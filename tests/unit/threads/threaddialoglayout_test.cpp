#include "forms/threadmessagedialog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct LayoutCase {
    const char *name;
    std::vector<int> captionWidths;
    TButtonPlacement placement;
    std::vector<QRect> buttons;
};

TEST(ThreadDialogLayoutTest, ButtonsStandUnderTheTextWithTheirWidthRule) {
    // Label at (48, 8), 60 high: buttons at top 78; caption text 20 high.
    const LayoutCase cases[] = {
        // A short caption still gets 100 in the measurement dialog, centred.
        {"one short common", {60}, TButtonPlacement::CommonWidth, {{235, 78, 100, 35}}},
        {"one wide common", {150}, TButtonPlacement::CommonWidth, {{200, 78, 170, 35}}},
        // Three buttons of the widest width, spread evenly.
        {"three common",
         {40, 95, 60},
         TButtonPlacement::CommonWidth,
         {{56, 78, 115, 35}, {227, 78, 115, 35}, {398, 78, 115, 35}}},
        // The discovery dialog: caption + 20, no minimum, each centred alone.
        {"one own", {60}, TButtonPlacement::OwnWidth, {{245, 78, 80, 35}}},
        {"two own", {61, 150}, TButtonPlacement::OwnWidth, {{244, 78, 81, 35}, {200, 78, 170, 35}}},
    };
    for (const LayoutCase &c : cases) {
        SCOPED_TRACE(c.name);
        ThreadDialogLayoutInput in;
        in.label = QRect(48, 8, 514, 60);
        in.placement = c.placement;
        in.captionBarHeight = 19;
        in.frameHeight = 3;
        for (int w : c.captionWidths)
            in.captionTextSizes.emplace_back(w, 20);
        const ThreadDialogLayout out = LayoutThreadDialog(in);
        ASSERT_EQ(out.buttons.size(), c.buttons.size());
        for (std::size_t k = 0; k < c.buttons.size(); ++k)
            EXPECT_EQ(out.buttons[k], c.buttons[k]) << "button " << k;
        // caption bar + last button's bottom + both frames + 10
        EXPECT_EQ(out.height, 19 + 113 + 6 + 10);
    }
}

TEST(ThreadDialogLayoutTest, DialogIsCentredOnTheMainWindowWithHalvesTruncated) {
    EXPECT_EQ(CentreOnWindow(QRect(100, 50, 1196, 661), QSize(570, 149)), QPoint(413, 306));
    // Odd differences truncate toward zero, also when the dialog is larger.
    EXPECT_EQ(CentreOnWindow(QRect(0, 0, 401, 101), QSize(570, 200)), QPoint(-84, -49));
}

} // namespace
