#include "platform/dialogs.h"

#include <gtest/gtest.h>

namespace {

TEST(DialogService, RecorderTakesEveryDialogAndScopeRestores) {
    platform::RecordingDialogService outer;
    platform::ScopedDialogService outerScope(outer);
    {
        platform::RecordingDialogService inner;
        platform::ScopedDialogService innerScope(inner);
        platform::ShowMessageBox(nullptr, QStringLiteral("текст"), QStringLiteral("Внимание!!!"),
                                 platform::MessageIcon::Information);
        platform::ShowThreadMessage(nullptr, QStringLiteral("Сообщение"), QStringLiteral("сбой"));
        const auto shown = inner.Shown();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0].kind, platform::DialogKind::MessageBox);
        EXPECT_EQ(shown[0].caption, QStringLiteral("Внимание!!!"));
        EXPECT_EQ(shown[0].icon, platform::MessageIcon::Information);
        EXPECT_EQ(shown[1].kind, platform::DialogKind::ThreadMessage);
        EXPECT_EQ(shown[1].text, QStringLiteral("сбой"));
    }
    platform::ShowMessageBox(nullptr, QStringLiteral("после"), QStringLiteral("x"));
    ASSERT_EQ(outer.Count(), 1u);
    EXPECT_EQ(outer.Shown()[0].text, QStringLiteral("после"));
}

} // namespace
