#include "forms/kova8adcchannelframe.h"
#include "measurement/rangetable.h"
#include "platform/colors.h"

#include <gtest/gtest.h>

#include <QEnterEvent>

#include <array>

namespace {

class ChannelFrameTest : public ::testing::Test {
protected:
    ChannelFrameTest() {
        for (int i = 0; i < kRangeCount; ++i)
            captions[i] = RangeCaption(i);
    }

    void Enter(QWidget *w) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(w, &enter);
    }
    void Leave(QWidget *w) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(w, &leave);
    }

    std::array<QString, kRangeCount> captions;
    QWidget owner;
};

TEST_F(ChannelFrameTest, BuildsItsTitleAndRangeListFromTheGivenTable) {
    TKova8AdcChannelFrame panel(&owner, kRangeCount, captions.data(), 7);
    EXPECT_EQ(panel.ChannelIndex, 7);
    EXPECT_EQ(panel.ChannelNumberLMDCheckBox->text(), QStringLiteral("Канал 8"));
    ASSERT_EQ(panel.InputRangeLMDComboBox->count(), 8);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(panel.InputRangeLMDComboBox->itemText(k), QStringLiteral(" ") + captions[k]);
    EXPECT_EQ(panel.InputRangeLMDComboBox->maxVisibleItems(), 8);
    EXPECT_TRUE(panel.isHidden()); // until the window shows it
    EXPECT_FALSE(panel.ApplicationActive);
    EXPECT_TRUE(panel.ValueLMDEdit->isReadOnly());
    EXPECT_EQ(panel.FlashLed->toolTip(), QStringLiteral("Признак обновления канала"));

    // A shorter table gives a shorter list.
    TKova8AdcChannelFrame few(&owner, 3, captions.data(), 0);
    EXPECT_EQ(few.InputRangeLMDComboBox->count(), 3);
    EXPECT_EQ(few.ChannelNumberLMDCheckBox->text(), QStringLiteral("Канал 1"));
}

struct HoverCase {
    const char *name;
    bool active;
    const char *text;
    bool selectedOnEnter;
};

TEST_F(ChannelFrameTest, HoverSelectsAValueOnlyWhileTheProgramIsActive) {
    const HoverCase cases[] = {
        {"value", true, "12.3456", true},
        {"dashes", true, "--------", false},
        {"negative value", true, "-12.3456", true},
        {"another program active", false, "12.3456", false},
    };
    for (const HoverCase &c : cases) {
        SCOPED_TRACE(c.name);
        TKova8AdcChannelFrame panel(&owner, kRangeCount, captions.data(), 0);
        panel.ApplicationActive = c.active;
        panel.ValueLMDEdit->setText(QString::fromLatin1(c.text));
        Enter(panel.ValueLMDEdit);
        EXPECT_EQ(panel.ValueLMDEdit->hasSelectedText(), c.selectedOnEnter);
        if (c.selectedOnEnter) {
            EXPECT_EQ(panel.ValueLMDEdit->selectedText(), QString::fromLatin1(c.text));
        }
        Leave(panel.ValueLMDEdit);
        EXPECT_FALSE(panel.ValueLMDEdit->hasSelectedText());
    }
}

TEST_F(ChannelFrameTest, AValueChangingUnderThePointerStaysSelected) {
    TKova8AdcChannelFrame panel(&owner, kRangeCount, captions.data(), 0);
    panel.ApplicationActive = true;
    panel.ValueLMDEdit->setAttribute(Qt::WA_UnderMouse, true);
    panel.ValueLMDEdit->setText(QStringLiteral("1.0000"));
    EXPECT_EQ(panel.ValueLMDEdit->selectedText(), QStringLiteral("1.0000"));

    // Not under the pointer: the new value is not selected.
    panel.ValueLMDEdit->setAttribute(Qt::WA_UnderMouse, false);
    panel.ValueLMDEdit->setText(QStringLiteral("2.0000"));
    EXPECT_FALSE(panel.ValueLMDEdit->hasSelectedText());
}

TEST_F(ChannelFrameTest, LampGreenThenOffLeavesNothingVisible) {
    TKova8AdcChannelFrame panel(&owner, kRangeCount, captions.data(), 0);
    panel.SetLampState(TKova8AdcChannelFrame::LampState::Green);
    EXPECT_EQ(panel.FlashLed->ShownColor(), platform::ColorFromWin(32768));
    EXPECT_FALSE(panel.FlashLed->Active());
    panel.SetLampState(TKova8AdcChannelFrame::LampState::Off);
    EXPECT_EQ(panel.FlashLed->ShownColor(), platform::ButtonFaceColor());
    EXPECT_EQ(panel.FlashLed->ActiveColor(), platform::ButtonFaceColor());
}

TEST_F(ChannelFrameTest, ChannelControlsSwitchWithoutTheCheckBoxButDisablePanelTakesAll) {
    TKova8AdcChannelFrame panel(&owner, kRangeCount, captions.data(), 0);
    const QList<QWidget *> five = {panel.InputRangeLabLMDLabel, panel.InputRangeLMDComboBox,
                                   panel.ValueLabLMDLabel, panel.ValueLMDEdit, panel.FlashLed};
    panel.DisableChannelControls();
    for (QWidget *w : five)
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(panel.ChannelNumberLMDCheckBox->isEnabled());
    panel.EnableChannelControls();
    for (QWidget *w : five)
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();

    panel.DisablePanel();
    EXPECT_FALSE(panel.Kova8AdcChannelLMDSimplePanel->isEnabled());
    // Each control is disabled on its own, so enabling the inner panel again
    // does not bring them back.
    panel.Kova8AdcChannelLMDSimplePanel->setEnabled(true);
    EXPECT_FALSE(panel.ChannelNumberLMDCheckBox->isEnabled());
    for (QWidget *w : five)
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
}

} // namespace
