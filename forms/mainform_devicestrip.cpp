// The device strip: discovery command, crate and module lists, status display,
// and the page control's guard against pages that need an open module.

#include "forms/devicetexts.h"
#include "forms/mainform.h"
#include "platform/codepage.h"
#include "platform/colors.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QTabBar>

namespace {

constexpr std::uint32_t kLampOk = 0x00FF00;  // lime
constexpr std::uint32_t kLampBad = 0x0000FF; // red

QColor LampColor(StatusDisplay display, bool ok) {
    if (display == StatusDisplay::Pending)
        return platform::ButtonFaceColor();
    return platform::ColorFromWin(ok ? kLampOk : kLampBad);
}

} // namespace

void SetControlTreeEnabled(QWidget *control, bool enabled, const QWidget *keepChildrenOf) {
    control->setEnabled(enabled);
    if (enabled && control == keepChildrenOf)
        return;
    for (QObject *object : control->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (!child || child->isWindow())
            continue;
        // Qt's own helpers inside a control (the page control's page stack
        // and tab bar) are no controls of the window: they pass the walk on
        // but keep their state, as the window's pages do not depend on them.
        const bool helper = child->objectName().startsWith(QLatin1String("qt_"));
        if (!child->children().isEmpty() && !(enabled && child == keepChildrenOf)) {
            SetControlTreeEnabled(child, enabled, keepChildrenOf);
            if (helper)
                child->setEnabled(true);
        } else if (!helper) {
            child->setEnabled(enabled);
        }
    }
}

void TMainForm::BindDeviceStripHandlers() {
    connect(FindDeviceLMDButton, &QPushButton::clicked, this,
            [this] { FindDeviceLMDButtonClick(); });
    // Bound to the user's choice, which Qt reports even when the chosen entry
    // is the one already selected: the handlers compare the choice with what
    // is shown and decide themselves. Selections the program makes (filling
    // the lists in a discovery run) never reach them.
    connect(KovaCratesComboBox, &QComboBox::activated, this,
            [this] { KovaCratesComboBoxChange(); });
    connect(ModulesComboBox, &QComboBox::activated, this, [this] { ModulesComboBoxChange(); });
    // Qt's page control has no cancellable changing event: the change is
    // taken back when the guard refuses it.
    connect(MainLMDPageControl, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == lastPageIndex_)
            return;
        bool allowChange = true;
        MainLMDPageControlChangingEx(MainLMDPageControl->widget(index), allowChange);
        if (!allowChange) {
            const QSignalBlocker block(MainLMDPageControl);
            MainLMDPageControl->setCurrentIndex(lastPageIndex_);
            return;
        }
        lastPageIndex_ = index;
        MainLMDPageControlChange();
    });
}

void TMainForm::ShowDeviceStatus(StatusDisplay display, std::uint16_t mode, QString &moduleName) {
    Busy = true;

    const QString caption = DeviceCaption(display, FallbackCaption);
    setWindowTitle(caption);
    QCoreApplication::setApplicationName(caption);

    if (display == StatusDisplay::Pending && mode == 3)
        KovaCratesComboBox->clear();

    if (mode == 3 || mode == 2) {
        KovaCrateStatusLed->SetBrushColor(LampColor(display, CrateOk != 0));
        KovaCrateStatusLed->setToolTip(CrateStatusHint(display, CrateOk != 0));
    }

    if ((mode & 0x3) != 0) {
        if (display == StatusDisplay::Pending && mode == 3)
            ModulesComboBox->clear();
        const bool ready = ModuleState == 2;
        ModuleStatusLed->SetBrushColor(LampColor(display, ready));
        if (moduleName.isEmpty())
            moduleName = QStringLiteral("???");
        ModuleStatusLed->setToolTip(ModuleStatusHint(display, moduleName, ready));
        const bool showIdentity = display == StatusDisplay::Result && ready;
        ModuleSerialNumberLMDLabel->setText(showIdentity ? DescriptorSerialText()
                                                         : QStringLiteral("????????"));
        ModuleFirmwareVersionLMDLabel->setText(showIdentity ? DescriptorFirmwareText()
                                                            : QStringLiteral("??.??"));
    }

    Busy = false;
}

void TMainForm::FindDeviceLMDButtonClick() {
    if (Busy)
        return;
    Busy = true;
    StopThread();
    AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    CommonInputRangeLMDComboBox->setCurrentIndex(-1);
    ReferenceVoltageLMDComboBox->setCurrentIndex(-1);
    for (int j = 0; j < kChannelCount; ++j)
        ResetChannelPanel(j);
    RequestDiscovery(3, false);
    Busy = false;
}

void TMainForm::KovaCratesComboBoxChange() {
    if (Busy)
        return;
    Busy = true;
    const int selection = KovaCratesComboBox->currentIndex();
    if (selection >= 0 && selection != SelectedCrateIndex) {
        StopThread();
        SelectedCrateIndex = static_cast<std::uint16_t>(selection);
        RequestDiscovery(2, false);
    }
    Busy = false;
}

void TMainForm::ModulesComboBoxChange() {
    if (Busy)
        return;
    Busy = true;
    const int crate = KovaCratesComboBox->currentIndex();
    const int module = ModulesComboBox->currentIndex();
    // A list without a selection names no module, so nothing is reopened.
    if (crate >= 0 && crate < kMaxCrates && module >= 0 && module < kMaxSlots) {
        const auto &serial =
            ModuleSerials[static_cast<std::size_t>(crate)][static_cast<std::size_t>(module)];
        if (SerialText(serial.data(), serial.size()) != ModuleSerialNumberLMDLabel->text()) {
            StopThread();
            if (SelectedCrateIndex < kMaxCrates)
                SelectedModuleIndex[SelectedCrateIndex] = static_cast<std::uint16_t>(module);
            RequestDiscovery(1, false);
        }
    }
    Busy = false;
}

void TMainForm::MainLMDPageControlChangingEx(QWidget *newPage, bool &allowChange) {
    if (Busy)
        return;
    Busy = true;
    if (ModuleState != 2) {
        MainLMDPageControl->setEnabled(true);
        Busy = false;
        platform::ShowMessageBox(this,
                                 QStringLiteral("Нет открытого модуля! Поэтому данная опция не "
                                                "доступна!"),
                                 QStringLiteral("Внимание!!!"), platform::MessageIcon::Information);
        allowChange = false;
        return;
    }
    if (newPage == MainLMDPageControl->widget(0)) {
        StopThread();
        StartMultimeterLMDSimplePanel->setVisible(true);
    }
    Busy = false;
}

void TMainForm::MainLMDPageControlChanging() {}

void TMainForm::MainLMDPageControlChange() {}

QString TMainForm::DescriptorSerialText() const {
    return platform::FieldFromCodePage(Descriptor.SerialNumber, sizeof Descriptor.SerialNumber);
}

QString TMainForm::DescriptorFirmwareText() const {
    return platform::FieldFromCodePage(Descriptor.FirmwareVersion,
                                       sizeof Descriptor.FirmwareVersion);
}
