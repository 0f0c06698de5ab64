#include "device/fakekovadevice.h"
#include "forms/mainform.h"
#include "forms/windowmessage.h"
#include "platform/colors.h"
#include "platform/dialogs.h"
#include "tests/support/userchoice.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstring>
#include <vector>

namespace {

class RequestCounter : public QObject {
public:
    int count = 0;
    std::vector<std::uintptr_t> modes;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == kDiscoveryRequestEvent) {
            ++count;
            modes.push_back(static_cast<TWindowMessage *>(event)->WParam);
            return true;
        }
        return false;
    }
};

class DeviceStripTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TMainForm>(nullptr, &device);
        form->installEventFilter(&requests);
    }
    int Requests() {
        QCoreApplication::processEvents();
        return requests.count;
    }

    TFakeKovaDevice device;
    platform::RecordingDialogService dialogs;
    platform::ScopedDialogService dialogScope{dialogs};
    RequestCounter requests;
    std::unique_ptr<TMainForm> form;
};

// Taken once the application object exists.
#define kFace platform::ButtonFaceColor()
const QColor kLime = platform::ColorFromWin(0x00FF00);
const QColor kRed = platform::ColorFromWin(0x0000FF);

TEST_F(DeviceStripTest, PendingFullDiscoveryClearsTheListsAndGreysBothLamps) {
    form->KovaCratesComboBox->addItem(QStringLiteral("1: OLD"));
    form->ModulesComboBox->addItem(QStringLiteral("Слот 1: KOVA8M-3"));
    form->KovaCrateStatusLed->SetBrushColor(kRed);
    QString name;
    form->ShowDeviceStatus(StatusDisplay::Pending, 3, name);

    EXPECT_EQ(form->KovaCratesComboBox->count(), 0);
    EXPECT_EQ(form->ModulesComboBox->count(), 0);
    EXPECT_EQ(form->KovaCrateStatusLed->BrushColor(), kFace);
    EXPECT_EQ(form->ModuleStatusLed->BrushColor(), kFace);
    EXPECT_EQ(form->KovaCrateStatusLed->toolTip(), QStringLiteral("Статус KOVA крейта -> ???"));
    EXPECT_EQ(name, QStringLiteral("???"));
    EXPECT_EQ(form->ModuleStatusLed->toolTip(), QStringLiteral("Статус модуля '??"
                                                               "?'-> ???"));
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("????????"));
    EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("??.??"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8_duvu - ?.?.?"));
    EXPECT_FALSE(form->Busy);
}

struct ResultCase {
    const char *name;
    std::uint16_t mode;
    std::uint32_t crateOk;
    std::uint8_t moduleState;
    QColor crateLamp; // invalid: left as it was
    QColor moduleLamp;
    const char16_t *moduleHint;
};

TEST_F(DeviceStripTest, ResultDisplayFollowsTheCrateFlagAndModuleState) {
    device.ScriptOneModule();
    device.KOVA8_Init(&form->Descriptor);
    ASSERT_EQ(device.KOVA8_Open(&form->Descriptor, KOVA_SERVER_ADDRESS, KOVA_SERVER_PORT,
                                "2T000001", 3, "KOVA8.bio"),
              0);
    const QString serial = QString::fromStdString(device.Crates[0].Modules[0].Serial);
    const QString firmware = QString::fromStdString(device.Crates[0].Modules[0].FirmwareVersion);
    const QColor untouched;
    const ResultCase cases[] = {
        {"nothing found", 3, 0, 0, kRed, kRed, u"Статус модуля 'KOVA8' -> BAD"},
        {"crate found, module closed", 3, 1, 0, kLime, kRed, u"Статус модуля 'KOVA8' -> BAD"},
        {"module open", 3, 1, 2, kLime, kLime, u"Статус модуля 'KOVA8' -> OK"},
        {"crate run", 2, 1, 2, kLime, kLime, u"Статус модуля 'KOVA8' -> OK"},
        // A module run never touches the crate lamp.
        {"module run", 1, 0, 2, untouched, kLime, u"Статус модуля 'KOVA8' -> OK"},
    };
    for (const ResultCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QColor marker(1, 2, 3);
        form->KovaCrateStatusLed->SetBrushColor(marker);
        form->CrateOk = c.crateOk;
        form->ModuleState = c.moduleState;
        QString name = QStringLiteral("KOVA8");
        form->ShowDeviceStatus(StatusDisplay::Result, c.mode, name);
        EXPECT_EQ(form->KovaCrateStatusLed->BrushColor(),
                  c.crateLamp.isValid() ? c.crateLamp : marker);
        EXPECT_EQ(form->ModuleStatusLed->BrushColor(), c.moduleLamp);
        EXPECT_EQ(form->ModuleStatusLed->toolTip(), QString::fromUtf16(c.moduleHint));
        EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8_duvu - 1.0.0"));
        EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("KOVA8_duvu - 1.0.0"));
        EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(),
                  c.moduleState == 2 ? serial : QStringLiteral("????????"));
        EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(),
                  c.moduleState == 2 ? firmware : QStringLiteral("??.??"));
    }
}

TEST_F(DeviceStripTest, DiscoveryCommandResetsTheChoicesThenRequestsOneRun) {
    form->AllChannelsLMDCheckBox->setCheckState(Qt::Checked);
    form->CommonInputRangeLMDComboBox->setCurrentIndex(2);
    form->ReferenceVoltageLMDComboBox->setCurrentIndex(1);
    for (TKova8AdcChannelFrame *panel : form->ChannelPanels) {
        panel->ChannelNumberLMDCheckBox->setCheckState(Qt::Checked);
        panel->ValueLMDEdit->setText(QStringLiteral("1.2345"));
    }
    form->FindDeviceLMDButton->setEnabled(true);
    form->FindDeviceLMDButton->click();

    EXPECT_EQ(form->AllChannelsLMDCheckBox->checkState(), Qt::Unchecked);
    EXPECT_EQ(form->CommonInputRangeLMDComboBox->currentIndex(), -1);
    EXPECT_EQ(form->ReferenceVoltageLMDComboBox->currentIndex(), -1);
    for (TKova8AdcChannelFrame *panel : form->ChannelPanels) {
        EXPECT_EQ(panel->ChannelNumberLMDCheckBox->checkState(), Qt::Unchecked);
        EXPECT_EQ(panel->ValueLMDEdit->text(), QStringLiteral("--------"));
    }
    EXPECT_EQ(Requests(), 1);
    EXPECT_FALSE(form->Busy);

    // While busy the command does nothing.
    form->InitRequestAllowed = true;
    form->Busy = true;
    form->FindDeviceLMDButtonClick();
    EXPECT_EQ(Requests(), 1);
}

// Two crates, the second selected with its first module, whose serials are
// known; the module serial label shows `shown`.
void ListTwoCrates(TMainForm &form, const QString &shown) {
    form.Busy = true;
    form.KovaCratesComboBox->clear();
    form.KovaCratesComboBox->addItems({QStringLiteral("1: A"), QStringLiteral("2: B")});
    form.KovaCratesComboBox->setCurrentIndex(1);
    form.ModulesComboBox->clear();
    form.ModulesComboBox->addItems(
        {QStringLiteral("Слот 3: KOVA8M-3"), QStringLiteral("Слот 7: KOVA8M-2")});
    form.ModulesComboBox->setCurrentIndex(0);
    std::strcpy(form.ModuleSerials[1][0].data(), "M3");
    std::strcpy(form.ModuleSerials[1][1].data(), "M7");
    form.ModuleSerialNumberLMDLabel->setText(shown);
    form.SelectedCrateIndex = 1;
    form.SelectedModuleIndex = {};
    form.InitRequestAllowed = true;
    form.Busy = false;
}

TEST_F(DeviceStripTest, EveryChoiceOfTheUserIsJudgedByWhatTheStripShows) {
    struct Case {
        const char *name;
        bool moduleList; // else the crate list
        int index;
        const char16_t *shownSerial;
        std::vector<std::uintptr_t> modes; // the discovery requests posted
        std::uint16_t selectedCrate;
        std::uint16_t selectedModule; // of crate 1
    };
    const Case cases[] = {
        {"the selected crate again", false, 1, u"M3", {}, 1, 0},
        {"another crate", false, 0, u"M3", {2}, 0, 0},
        {"the module whose serial is shown", true, 0, u"M3", {}, 1, 0},
        {"another module", true, 1, u"M3", {1}, 1, 1},
        // After a failed open the label shows no serial: choosing the same
        // module again retries it.
        {"the same module after a failed open", true, 0, u"????????", {1}, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ListTwoCrates(*form, QString::fromUtf16(c.shownSerial));
        Requests();
        requests.modes.clear();
        ChooseListItem(c.moduleList ? form->ModulesComboBox : form->KovaCratesComboBox, c.index);
        Requests();
        EXPECT_EQ(requests.modes, c.modes);
        EXPECT_EQ(form->SelectedCrateIndex, c.selectedCrate);
        EXPECT_EQ(form->SelectedModuleIndex[1], c.selectedModule);
        EXPECT_FALSE(form->Busy);
    }
}

TEST_F(DeviceStripTest, SelectionsTheProgramMakesStartNothing) {
    ListTwoCrates(*form, QStringLiteral("????????"));
    Requests();
    requests.modes.clear();
    form->ModulesComboBox->setCurrentIndex(1);
    form->KovaCratesComboBox->setCurrentIndex(0);
    Requests();
    EXPECT_TRUE(requests.modes.empty());
    EXPECT_EQ(form->SelectedCrateIndex, 1);
}

TEST_F(DeviceStripTest, PageChangeWithoutAnOpenModuleIsRefused) {
    QTabWidget *pages = form->MainLMDPageControl;
    pages->setTabVisible(1, true); // as if a user could reach it
    form->ModuleState = 0;
    pages->setCurrentIndex(1);
    EXPECT_EQ(pages->currentIndex(), 0);
    ASSERT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].text,
              QStringLiteral("Нет открытого модуля! Поэтому данная опция не доступна!"));
    EXPECT_EQ(dialogs.Shown()[0].caption, QStringLiteral("Внимание!!!"));
    EXPECT_EQ(dialogs.Shown()[0].icon, platform::MessageIcon::Information);

    form->ModuleState = 2;
    pages->setCurrentIndex(1);
    EXPECT_EQ(pages->currentIndex(), 1);
    form->StartMultimeterLMDSimplePanel->setVisible(false);
    pages->setCurrentIndex(0);
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_FALSE(form->StartMultimeterLMDSimplePanel->isHidden());
    EXPECT_EQ(dialogs.Count(), 1u);
}

TEST(ControlTree, EnablingKeepsTheChildrenOfTheNamedContainer) {
    QWidget root;
    auto *box = new QWidget(&root);
    auto *inner = new QWidget(box);
    auto *leaf = new QWidget(inner);
    auto *kept = new QWidget(&root);
    auto *keptChild = new QWidget(kept);

    SetControlTreeEnabled(&root, false);
    for (QWidget *w : {&root, box, inner, leaf, kept, keptChild})
        EXPECT_TRUE(w->testAttribute(Qt::WA_Disabled));

    SetControlTreeEnabled(&root, true, kept);
    for (QWidget *w : {&root, box, inner, leaf, kept})
        EXPECT_FALSE(w->testAttribute(Qt::WA_Disabled));
    EXPECT_TRUE(keptChild->testAttribute(Qt::WA_Disabled));
}

} // namespace
