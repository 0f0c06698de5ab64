// What the user sees of the window on a 1920 × 1080 screen: the window after a
// discovery that opened a module (also written out as a picture to look at),
// its fonts, its channel lamps and where its hints end up.

#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "settings/settingskeys.h"
#include "tests/support/waituntil.h"
#include "tests/support/windowfolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHelpEvent>
#include <QTemporaryDir>
#include <QToolTip>

#include <vector>

namespace {

// A window that has run its first discovery on the fake device, in a folder
// of its own that holds the firmware file and the settings file.
class OpenWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnterWindowFolder(dir, previousDir));
        device.ScriptOneModule();
        form = std::make_unique<TMainForm>(nullptr, &device);
    }
    void TearDown() override {
        form.reset();
        LeaveWindowFolder(previousDir);
    }
    void ShowAndDiscover() {
        form->show();
        ASSERT_TRUE(WaitUntil([&] {
            return form->StartupState == 3 && !form->InitThreadRunning && !form->InitThreadAlive &&
                   form->ModuleState == 2;
        }));
    }

    QTemporaryDir dir;
    QString previousDir;
    TFakeKovaDevice device;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService dialogScope{dialogs};
    std::unique_ptr<TMainForm> form;
};

TEST_F(OpenWindowTest, ScreenshotWithAnOpenModule) {
    ShowAndDiscover();
    EXPECT_EQ(dialogs.Count(), 0u);
    const QImage image = form->grab().toImage();
    EXPECT_EQ(image.size(), QSize(1159, 585));
    // Written beside the test executables for a look at what a user sees.
    EXPECT_TRUE(image.save(QDir(previousDir).filePath(QStringLiteral("mainform_open.png"))));
}

// The pixel heights the window's layout gives, as a 96-dpi screen shows them.
TEST_F(OpenWindowTest, FontsHaveTheirPixelHeights) {
    const TKova8AdcChannelFrame *panel = form->ChannelPanels[0];
    const struct {
        const char *name;
        const QWidget *widget;
        int pixels;
    } cases[] = {
        {"window", form.get(), 20},
        {"start button", form->StartMultimeterLMDSpeedButton, 27},
        {"channel check box", panel->ChannelNumberLMDCheckBox, 17},
        {"range label", panel->InputRangeLabLMDLabel, 16},
        {"range list", panel->InputRangeLMDComboBox, 17},
        {"value label", panel->ValueLabLMDLabel, 16},
        {"value box", panel->ValueLMDEdit, 27},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QFontInfo(c.widget->font()).pixelSize(), c.pixels);
    }
}

// An unlit lamp in the neutral state is no lamp: the spot shows exactly
// what lies behind it.
TEST_F(OpenWindowTest, AnOffLampPaintsNothingOverItsBackground) {
    ShowAndDiscover();
    TKova8AdcChannelFrame *panel = form->ChannelPanels[0];
    TLedLamp *lamp = panel->FlashLed;
    // Grabbed from the window, so that what shows behind the lamp is what the
    // window paints there.
    const auto spot = [&] {
        return form->grab(QRect(lamp->mapTo(form.get(), QPoint(0, 0)), lamp->size())).toImage();
    };
    lamp->hide();
    const QImage background = spot();
    lamp->show();

    const struct {
        const char *name;
        std::vector<TKova8AdcChannelFrame::LampState> states;
        bool seen;
    } cases[] = {
        {"off", {TKova8AdcChannelFrame::LampState::Off}, false},
        {"green", {TKova8AdcChannelFrame::LampState::Green}, true},
        {"green, then off",
         {TKova8AdcChannelFrame::LampState::Green, TKova8AdcChannelFrame::LampState::Off},
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (TKova8AdcChannelFrame::LampState state : c.states)
            panel->SetLampState(state);
        EXPECT_EQ(spot() != background, c.seen);
    }
    // A disabled channel's lamp is no lamp either.
    panel->SetLampState(TKova8AdcChannelFrame::LampState::Off);
    panel->DisableChannelControls();
    lamp->hide();
    const QImage disabledBackground = spot();
    lamp->show();
    EXPECT_EQ(spot(), disabledBackground);
}

// The hint window as it ends up on the screen: below the cursor, or moved
// to 10 pixels inside the work area's bottom and right edges.
TEST_F(OpenWindowTest, ShownHintsEndTenPixelsInsideTheWorkArea) {
    form->show();
    const QRect area = platform::WorkArea(form.get());
    const int bottom = area.y() + area.height();
    const int right = area.x() + area.width();
    QWidget *widget = form->ModuleStatusLed;
    const struct {
        const char *name;
        QPoint cursor;
        bool atBottom;
        bool atRight;
    } cases[] = {
        {"free", area.topLeft() + QPoint(100, 100), false, false},
        {"near the bottom", QPoint(area.x() + 100, bottom - 3), true, false},
        {"near the right edge", QPoint(right - 3, area.y() + 100), false, true},
        {"near the bottom-right corner", QPoint(right - 3, bottom - 3), true, true},
    };
    const auto shownTip = [] {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->isVisible() && window->objectName() == QLatin1String("qtooltip_label"))
                return window;
        return static_cast<QWidget *>(nullptr);
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // Each case starts with no tip on the screen, so Qt makes and places
        // a new one.
        if (QWidget *old = shownTip())
            old->hide();
        QHelpEvent help(QEvent::ToolTip, widget->mapFromGlobal(c.cursor), c.cursor);
        QCoreApplication::sendEvent(widget, &help);
        QWidget *tip = shownTip();
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(tip->property("text").toString(), widget->toolTip());
        const QRect shown = tip->geometry();
        if (c.atBottom)
            EXPECT_EQ(shown.y() + shown.height(), bottom - 10);
        else
            EXPECT_EQ(shown.y(), c.cursor.y() + 16);
        if (c.atRight)
            EXPECT_EQ(shown.x() + shown.width(), right - 10);
        else
            EXPECT_EQ(shown.x(), c.cursor.x() + 2);
    }
    if (QWidget *tip = shownTip())
        tip->hide();
}

} // namespace
