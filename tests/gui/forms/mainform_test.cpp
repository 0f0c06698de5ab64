#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "platform/colors.h"
#include "platform/dialogs.h"
#include "settings/settingskeys.h"
#include "tests/support/waituntil.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <functional>

namespace {

// Counts and swallows the discovery requests the window posts to itself, so
// these tests see the request without starting a run.
class DiscoveryRequestCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == kDiscoveryRequestEvent) {
            ++count;
            return true;
        }
        return false;
    }
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TMainForm>(nullptr, &device);
        form->installEventFilter(&requests);
    }
    void OpenModule() {
        device.ScriptOneModule();
        device.KOVA8_Init(&form->Descriptor);
        ASSERT_EQ(device.KOVA8_Open(&form->Descriptor, KOVA_SERVER_ADDRESS, KOVA_SERVER_PORT,
                                    "2T000001", 3, "KOVA8.bio"),
                  0);
        device.ClearCalls();
    }
    void TearDown() override { form.reset(); }

    template <class T> T *Find(const char *name) {
        return form->findChild<T *>(QString::fromLatin1(name));
    }

    TFakeKovaDevice device;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService dialogScope{dialogs};
    DiscoveryRequestCounter requests;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainFormTest, ChannelPanelsStandInAGapFreeCentredColumn) {
    for (int j = 0; j < kChannelCount; ++j) {
        SCOPED_TRACE(j);
        TKova8AdcChannelFrame *panel = form->ChannelPanels[j];
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->objectName(), QStringLiteral("Kova8AdcChannel%1Frame").arg(j));
        EXPECT_EQ(panel->parentWidget(), form->AdcIndividualParsLMDGroupBox);
        EXPECT_EQ(panel->geometry(), QRect(128, 28 + 40 * j, 785, 40));
        EXPECT_FALSE(panel->isHidden());
        EXPECT_EQ(panel->ChannelIndex, j);
        EXPECT_EQ(panel->ChannelNumberLMDCheckBox->text(), QStringLiteral("Канал %1").arg(j + 1));
    }
}

TEST_F(MainFormTest, WindowFitsToTheFixedClientSizeOnALargeWorkArea) {
    EXPECT_EQ(form->size(), QSize(1159, 585));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()); // fixed border
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    // The device panel ends where the bevel began; the panels after it follow.
    EXPECT_EQ(form->SelectedModuleLMDSimplePanel->width(), 666);
    EXPECT_EQ(form->StartMultimeterLMDSimplePanel->x(), 827 - 37);
    EXPECT_EQ(form->SaveIniSettingLMDGroupBox->x(), 1029 - 37);
    EXPECT_EQ(form->SaveIniSettingLMDGroupBox->geometry().right() < form->width(), true);
    // The page control follows the window, the multimeter panel loses the
    // instrument panel's height.
    EXPECT_EQ(form->MainLMDPageControl->size(), QSize(1159, 585 - 73));
    EXPECT_EQ(form->MultimeterLMDSimplePanel->height(), 554 - 76);
    // Centred on the screen.
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(form->pos(), QPoint((screen.width() - 1165) / 2, (screen.height() - 614) / 2));
}

TEST_F(MainFormTest, UnusedPartsAreHiddenAndTheRestRecentred) {
    for (const char *name :
         {"Bevel3", "GeneratorStatusLed", "VoltmeterStatusLed", "CompensationLMDSpeedButton",
          "AcquisitionTimeLMDSimplePanel", "EquipmentLMDSimplePanel", "GeneratorLMDGroupBox",
          "VoltmeterLMDGroupBox"}) {
        auto *widget = Find<QWidget>(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_TRUE(widget->isHidden()) << name;
    }
    QTabWidget *pages = form->MainLMDPageControl;
    EXPECT_EQ(pages->currentWidget(), form->MultimeterLMDTabSheet);
    EXPECT_TRUE(pages->isTabVisible(pages->indexOf(form->MultimeterLMDTabSheet)));
    EXPECT_FALSE(pages->isTabVisible(pages->indexOf(form->CorrectionFactorsLMDTabSheet)));
    EXPECT_FALSE(pages->isTabVisible(pages->indexOf(form->VerificationLMDTabSheet)));
    EXPECT_EQ(pages->tabText(pages->indexOf(form->CorrectionFactorsLMDTabSheet)),
              QStringLiteral("Коэффициенты"));

    // The two remaining panels of the common group stand centred in it.
    const QRect channel = form->ChannelCommonParsLMDSimplePanel->geometry();
    const QRect common = form->CommonParsLMDSimplePanel->geometry();
    EXPECT_EQ(common.width(), 260 - (96 + 7));
    EXPECT_EQ(channel.x(), 110 + 120);
    EXPECT_EQ(channel.left(),
              form->AdcGroupParsLMDGroupBox->width() - (common.x() + common.width()));
}

TEST_F(MainFormTest, ListsHoldTheirItemsAndNothingIsChosen) {
    for (QComboBox *list :
         {form->ReferenceVoltageLMDComboBox, form->RefVoltageForClbCoeffsLMDComboBox}) {
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->itemText(0), QStringLiteral(" 2.5 B"));
        EXPECT_EQ(list->itemText(1), QStringLiteral(" 5.0 B"));
        EXPECT_EQ(list->maxVisibleItems(), 2);
    }
    EXPECT_EQ(form->ReferenceVoltageLMDComboBox->currentIndex(), -1);

    QComboBox *common = form->CommonInputRangeLMDComboBox;
    ASSERT_EQ(common->count(), kRangeCount);
    EXPECT_EQ(common->currentIndex(), -1);
    EXPECT_EQ(common->itemText(0), QStringLiteral("   от -80 до +80 мВ"));
    EXPECT_EQ(common->itemText(7), QStringLiteral(" от +0.01 до +10 мВ"));
    for (int i = 0; i < kRangeCount; ++i) {
        EXPECT_EQ(common->itemText(i), QStringLiteral(" ") + RangeCaption(i));
        EXPECT_EQ(form->RangeCaptions[i], RangeCaption(i));
        EXPECT_EQ(form->RangeShortNames[i], RangeShortName(i));
        EXPECT_EQ(form->RangeCodes[i], ModuleRangeCode(i));
        EXPECT_EQ(form->UpperLimits[i], RangeUpperLimit(i));
        EXPECT_EQ(form->LowerLimits[i], RangeLowerLimit(i));
    }
    for (TKova8AdcChannelFrame *panel : form->ChannelPanels) {
        ASSERT_EQ(panel->InputRangeLMDComboBox->count(), kRangeCount);
        EXPECT_EQ(panel->InputRangeLMDComboBox->itemText(3), QStringLiteral("   от -10 до +10 мВ"));
        EXPECT_EQ(panel->InputRangeLMDComboBox->currentIndex(), -1);
    }
}

TEST_F(MainFormTest, ControlsAndStateStartWithTheirFirstValues) {
    EXPECT_EQ(form->AllChannelsLMDCheckBox->checkState(), Qt::Unchecked);
    EXPECT_EQ(form->AcquisitionTimeLMDLabel->text(), QStringLiteral("-----"));
    EXPECT_EQ(form->FallbackCaption, QStringLiteral("KOVA8_duvu - ?.?.?"));
    EXPECT_EQ(form->ModuleStatusLed->toolTip(), QStringLiteral("Статус модуля -> ???"));
    EXPECT_EQ(form->GeneratorStatusLed->toolTip(), QStringLiteral("Статус генератора -> ???"));
    EXPECT_EQ(form->VoltmeterStatusLed->toolTip(), QStringLiteral("Статус мультиметра -> ???"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8"));
    EXPECT_FALSE(form->windowIcon().isNull());

    EXPECT_FALSE(form->Busy);
    EXPECT_EQ(form->StartupState, 1);
    EXPECT_FALSE(form->InitThreadRunning);
    EXPECT_TRUE(form->InitRequestAllowed);
    EXPECT_FALSE(form->MainThreadRunning);
    EXPECT_TRUE(form->MainRequestAllowed);
    EXPECT_TRUE(form->MeasurementFinished);
    EXPECT_EQ(form->SelectedCrateIndex, kNoCrateSelected);
    EXPECT_EQ(form->ModuleState, 0);
    EXPECT_EQ(form->MeasurementPages[0], form->MultimeterLMDTabSheet);
    EXPECT_EQ(form->IniFile, nullptr);
    EXPECT_TRUE(form->HintWindow);
    EXPECT_EQ(form->WindowsVersionCode, 0u); // not Windows: "other platform"
    for (const QString &format : form->DisplayFormats)
        EXPECT_TRUE(format.isEmpty());

    // Every panel starts reset and disabled, its check box too.
    for (TKova8AdcChannelFrame *panel : form->ChannelPanels) {
        EXPECT_EQ(panel->ChannelNumberLMDCheckBox->checkState(), Qt::Unchecked);
        EXPECT_EQ(panel->ValueLMDEdit->text(), QStringLiteral("--------"));
        EXPECT_EQ(panel->ValueFontColor(), platform::ColorFromWin(platform::clLime));
        EXPECT_EQ(panel->FlashLed->ShownColor(), platform::ButtonFaceColor());
        EXPECT_FALSE(panel->Kova8AdcChannelLMDSimplePanel->isEnabled());
        EXPECT_FALSE(panel->ChannelNumberLMDCheckBox->isEnabled());
    }
}

TEST_F(MainFormTest, ResetChannelPanelUndoesWhatARunLeft) {
    TKova8AdcChannelFrame *panel = form->ChannelPanels[5];
    panel->ChannelNumberLMDCheckBox->setCheckState(Qt::Checked);
    panel->InputRangeLMDComboBox->setCurrentIndex(4);
    panel->SetValueFontColor(Qt::red);
    panel->ValueLMDEdit->setText(QStringLiteral("12.3456"));
    panel->SetLampState(TKova8AdcChannelFrame::LampState::Green);

    form->ResetChannelPanel(5);

    EXPECT_EQ(panel->ChannelNumberLMDCheckBox->checkState(), Qt::Unchecked);
    EXPECT_EQ(panel->InputRangeLMDComboBox->currentIndex(), -1);
    EXPECT_EQ(panel->ValueFontColor(), platform::ColorFromWin(0x00FF00));
    EXPECT_EQ(panel->ValueLMDEdit->text(), QStringLiteral("--------"));
    EXPECT_EQ(panel->FlashLed->ShownColor(), platform::ButtonFaceColor());
    EXPECT_EQ(panel->FlashLed->ActiveColor(), platform::ButtonFaceColor());
    // The neighbours are left alone.
    EXPECT_EQ(form->ChannelPanels[4]->ValueLMDEdit->text(), QStringLiteral("--------"));
}

TEST_F(MainFormTest, FirstShowAndResizeRequestOneFullDiscovery) {
    form->show();
    ASSERT_TRUE(WaitUntil([&] { return form->StartupState == 3; }));
    EXPECT_TRUE(WaitUntil([&] { return requests.count == 1; }));
    EXPECT_FALSE(form->InitRequestAllowed);

    // Later resizes and shows start nothing, even with requests allowed again.
    form->InitRequestAllowed = true;
    form->FormResize();
    form->hide();
    form->show();
    QCoreApplication::processEvents();
    form->FormResize();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->StartupState, 3);
    EXPECT_EQ(requests.count, 1);
}

TEST_F(MainFormTest, ShowAndResizeDoNothingWhileBusy) {
    form->Busy = true;
    form->FormShow();
    EXPECT_EQ(form->StartupState, 1);
    form->Busy = false;
    form->FormShow();
    EXPECT_EQ(form->StartupState, 2);
    form->Busy = true;
    form->FormResize();
    EXPECT_EQ(form->StartupState, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(requests.count, 0);
}

struct EscapeCase {
    const char *name;
    int key;
    bool busy;
    bool discoveryRunning;
    bool handled;
    bool busyAfter;
};

TEST_F(MainFormTest, EscapeClearsAStuckBusyFlagAndSwallowsItself) {
    const EscapeCase cases[] = {
        {"other key while busy", 13, true, false, false, true},
        {"busy", 27, true, false, true, false},
        {"discovery running", 27, false, true, true, false},
        {"idle", 27, false, false, false, false},
    };
    for (const EscapeCase &c : cases) {
        SCOPED_TRACE(c.name);
        form->Busy = c.busy;
        form->InitThreadRunning = c.discoveryRunning;
        bool handled = false;
        form->ApplicationShortCut(c.key, handled);
        EXPECT_EQ(handled, c.handled);
        EXPECT_EQ(form->Busy, c.busyAfter);
    }
    form->InitThreadRunning = false;
}

TEST_F(MainFormTest, EscapeReachesTheHandlerBeforeAnyControl) {
    form->show();
    ASSERT_TRUE(WaitUntil([&] { return form->windowHandle() != nullptr; }));
    form->Busy = true;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    const bool delivered = QCoreApplication::sendEvent(form->windowHandle(), &press);
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(form->Busy);

    // Detached while a thread dialog is up.
    form->ShortCutHandlerAttached = false;
    form->Busy = true;
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(form->windowHandle(), &again);
    EXPECT_TRUE(form->Busy);
    form->ShortCutHandlerAttached = true;
    form->Busy = false;
}

// A message box shown by a handler that holds the busy flag (here the
// settings save failing twice) takes its own keys: one Escape closes it, and
// the flag stays the handler's until it returns.
TEST_F(MainFormTest, EscapeInAMessageBoxClosesTheBoxAndLeavesTheBusyFlag) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    settings::SetSettingsDirectory(dir.filePath(QStringLiteral("missing"))); // nothing is written
    form->show();
    ASSERT_TRUE(WaitUntil([&] { return form->windowHandle() != nullptr; }));
    QCoreApplication::processEvents();
    form->Busy = false;

    int boxes = 0;
    int keptOpen = 0;
    bool busyWhileShown = true;
    bool busyAfterEscape = true;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || !box->windowHandle())
            return;
        ++boxes;
        busyWhileShown = busyWhileShown && form->Busy;
        // Aimed at the box's window, as the window system delivers it.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(box->windowHandle(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(box->windowHandle(), &release);
        busyAfterEscape = busyAfterEscape && form->Busy;
        if (box->isVisible()) {
            ++keptOpen;
            box->reject();
        }
    });
    platform::SetDialogService(nullptr); // the real modal boxes
    timer.start();
    form->SaveSettingsButtonClick(form->SaveSettingsButton);
    timer.stop();
    platform::SetDialogService(&dialogs);
    settings::SetSettingsDirectory(QString());

    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(keptOpen, 0) << "a box needed more than one Escape";
    EXPECT_TRUE(busyWhileShown);
    EXPECT_TRUE(busyAfterEscape) << "the box's Escape reached the window's handler";
    EXPECT_FALSE(form->Busy);
}

TEST_F(MainFormTest, ActivationSwitchesSelectOnHoverOfEveryPanel) {
    form->ApplicationActivate();
    for (TKova8AdcChannelFrame *panel : form->ChannelPanels) {
        EXPECT_TRUE(panel->ApplicationActive);
        EXPECT_TRUE(panel->ValueFocusFollowsPointer);
    }
    form->ApplicationDeactivate();
    for (TKova8AdcChannelFrame *panel : form->ChannelPanels) {
        EXPECT_FALSE(panel->ApplicationActive);
        EXPECT_FALSE(panel->ValueFocusFollowsPointer);
    }
}

TEST_F(MainFormTest, HintsStayInsideTheWorkAreaAndHideAfterTwoSeconds) {
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    int timeout = 0;
    QPoint pos(100, 100);
    form->ApplicationShowHint(QStringLiteral("Статус модуля -> ???"), pos, timeout);
    EXPECT_EQ(pos, QPoint(100, 100));
    EXPECT_EQ(timeout, 2000);

    pos = QPoint(workArea.right() - 5, workArea.bottom() - 5);
    form->ApplicationShowHint(QStringLiteral("Статус модуля -> ???"), pos, timeout);
    EXPECT_LT(pos.x(), workArea.right() - 10);
    EXPECT_LT(pos.y(), workArea.bottom() - 10);

    // Without a hint window the position stays, the time still applies.
    form->HintWindow = false;
    pos = QPoint(workArea.right() - 5, workArea.bottom() - 5);
    timeout = 0;
    form->ApplicationShowHint(QStringLiteral("x"), pos, timeout);
    EXPECT_EQ(pos, QPoint(workArea.right() - 5, workArea.bottom() - 5));
    EXPECT_EQ(timeout, 2000);
}

TEST_F(MainFormTest, PopupMenuCarriesItsItemsAndShortcuts) {
    struct Item {
        QAction *action;
        const char *name;
        const char16_t *caption;
        const char *shortcut;
    };
    const Item items[] = {
        {form->RebootDeviceMenuItem, "RebootDeviceMenuItem", u"Перезагрузка Изделия", "Ctrl+R"},
        {form->SaveDefaultSettings, "SaveDefaultSettings", u"Сохранение штатных настроек",
         "Ctrl+D"},
        {form->SaveCurrentSettings, "SaveCurrentSettings", u"Сохранение текущих настроек",
         "Ctrl+S"},
        {form->AboutProgram, "AboutProgram", u"О программе ...", "Ctrl+A"},
        {form->ApplicationExit, "ApplicationExit", u"Выход", "Ctrl+Q"},
    };
    const QList<QAction *> actions = form->PopupMenu->actions();
    ASSERT_EQ(actions.size(), 8);
    for (int separator : {1, 4, 6})
        EXPECT_TRUE(actions[separator]->isSeparator()) << separator;
    for (const Item &item : items) {
        SCOPED_TRACE(item.name);
        ASSERT_NE(item.action, nullptr);
        EXPECT_EQ(item.action->objectName(), QString::fromLatin1(item.name));
        EXPECT_EQ(item.action->text(), QString::fromUtf16(item.caption));
        EXPECT_EQ(item.action->shortcut(), QKeySequence(QString::fromLatin1(item.shortcut)));
        EXPECT_TRUE(form->actions().contains(item.action)); // reachable without the menu
    }
    EXPECT_EQ(form->PopupMenu->defaultAction(), form->RebootDeviceMenuItem);
    EXPECT_EQ(form->ApplicationExit->toolTip(), QStringLiteral("Спокойный выход из программы"));

    // The two items without an action do nothing.
    form->show();
    form->RebootDeviceMenuItem->trigger();
    form->AboutProgram->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(MainFormTest, ExitCommandClosesEvenWithAStuckBusyFlag) {
    form->show();
    form->Busy = true;
    form->ApplicationExit->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Busy);
}

TEST_F(MainFormTest, ClosingWaitsForARunningDiscoveryToEnd) {
    // A discovery thread would clear its flag through its completion callback,
    // delivered as an event; the close must run events until it has.
    form->show();
    form->InitThreadRunning = true;
    QMetaObject::invokeMethod(
        form.get(), [this] { form->InitThreadRunning = false; }, Qt::QueuedConnection);
    form->close();
    EXPECT_FALSE(form->InitThreadRunning);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormTest, ClosingClosesTheOpenModuleEvenWithAStuckBusyFlag) {
    for (bool busy : {false, true}) {
        SCOPED_TRACE(busy);
        OpenModule();
        form->show();
        form->Busy = busy;
        form->close();
        EXPECT_EQ(device.CallCount("KOVA8_Close"), 1);
        EXPECT_EQ(device.OpenModule(&form->Descriptor), nullptr);
    }
    // A closed module is not closed again, also not when the window goes.
    device.ClearCalls();
    form->close();
    form.reset();
    EXPECT_EQ(device.CallCount("KOVA8_Close"), 0);
}

TEST_F(MainFormTest, AWindowDestroyedWithoutClosingStillClosesTheModule) {
    OpenModule();
    form.reset();
    EXPECT_EQ(device.CallCount("KOVA8_Close"), 1);
}

TEST_F(MainFormTest, ScreenshotOfTheWindow) {
    form->show();
    ASSERT_TRUE(WaitUntil([&] { return form->StartupState == 3; }));
    const QImage image = form->grab().toImage();
    EXPECT_EQ(image.size(), QSize(1159, 585));
    // Written beside the test executables for a look at what a user sees.
    EXPECT_TRUE(image.save(QStringLiteral("mainform.png")));
}

} // namespace
