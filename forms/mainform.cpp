// Construction and lifecycle of the main window.

#include "forms/mainform.h"

#include "forms/windowfit.h"
#include "platform/colors.h"
#include "platform/decimal.h"
#include "platform/screen.h"
#include "platform/windowsversion.h"
#include "settings/settingskeys.h"
#include "threads/workerthread.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QScreen>
#include <QToolTip>

namespace {

// Hint timing lives in the style on Qt; this keeps the window's pause.
class HintTimingStyle final : public QProxyStyle {
public:
    explicit HintTimingStyle(int wakeUpDelay) : wakeUpDelay_(wakeUpDelay) {}
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return wakeUpDelay_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    int wakeUpDelay_;
};

constexpr int kVkEscape = 27;
constexpr int kHintHideTime = 2000;
constexpr std::uint32_t kHintColor = 0xA4FFFF;

// Where a hint's top-left corner goes relative to the cursor: below it, as
// Qt puts its tips.
constexpr QPoint kHintOffset(2, 16);

// The size Qt's tip label gives itself for a text: a label in the tip font
// with the tip's margin, indent and wrapping rule, one pixel wider.
QSize HintWindowSize(const QString &text) {
    QLabel label(nullptr, Qt::ToolTip);
    label.setFont(QToolTip::font());
    label.ensurePolished();
    label.setMargin(1 +
                    label.style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, &label));
    label.setFrameStyle(QFrame::NoFrame);
    label.setAlignment(Qt::AlignLeft);
    label.setIndent(1);
    label.setWordWrap(Qt::mightBeRichText(text));
    label.setText(text);
    QSize size = label.sizeHint() + QSize(1, 0);
    const QFontMetrics metrics(label.font());
    if (metrics.descent() == 2 && metrics.ascent() >= 11)
        size.rheight() += 1;
    return size;
}

// The tip window Qt shows, while it shows one.
QWidget *ShownHintWindow() {
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->objectName() == QLatin1String("qtooltip_label"))
            return window;
    return nullptr;
}

QString SettingsFilePath() {
    return settings::SettingsFilePath();
}

} // namespace

// Q_INIT_RESOURCE declares its function at namespace scope, so this stays outside.
static void InitResources() {
    Q_INIT_RESOURCE(kova);
}

TMainForm::TMainForm(QWidget *owner, TKovaDevice *device) : QWidget(owner), Device(device) {
    if (!Device) {
        ownedDevice_ = std::make_unique<TKovaApiDevice>();
        Device = ownedDevice_.get();
    }
    // The hint pause lives in the style; installed before any control is
    // made, so that no control keeps a palette from before the change.
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) &&
        !dynamic_cast<HintTimingStyle *>(QApplication::style()))
        QApplication::setStyle(new HintTimingStyle(HintPause));

    // 1. The window from its form resource, with its handlers.
    setupUi(this);
    BuildPopupMenu();
    BindDeviceStripHandlers();
    BindMultimeterHandlers();
    BindSettingsHandlers();
    BindCoefsHandlers();
    FormCreate();

    // 2. Text fields start empty.
    for (auto &text : RangeCaptions)
        text.clear();
    for (auto &text : RangeShortNames)
        text.clear();
    FallbackCaption.clear();
    for (auto &text : DisplayFormats)
        text.clear();

    // 3. Application hints.
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QPalette tipPalette = QToolTip::palette();
        tipPalette.setColor(QPalette::ToolTipBase, platform::ColorFromWin(kHintColor));
        tipPalette.setColor(QPalette::ToolTipText, Qt::black);
        QToolTip::setPalette(tipPalette);

        // 4. Application-wide handlers.
        app->installEventFilter(this);
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive)
                        ApplicationActivate();
                    else
                        ApplicationDeactivate();
                });
    }

    // 5. The application icon.
    InitResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/APPL_ICON")));
    setWindowIcon(QApplication::windowIcon());

    // 6. The hint window: every widget application has one, drawn in the
    //    tooltip font.
    HintWindow = qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
    if (HintWindow) {
        QFont hintFont(QStringLiteral("Courier New"));
        hintFont.setPointSize(12);
        hintFont.setBold(true);
        QToolTip::setFont(hintFont);
    }

    // 7, 8. Fallback caption and lamp hints.
    FallbackCaption = QStringLiteral("KOVA8_duvu - ?.?.?");
    ModuleStatusLed->setToolTip(QStringLiteral("Статус модуля -> ???"));
    GeneratorStatusLed->setToolTip(QStringLiteral("Статус генератора -> ???"));
    VoltmeterStatusLed->setToolTip(QStringLiteral("Статус мультиметра -> ???"));

    // 9. Numbers are written and read with '.'.
    platform::SetDecimalSeparator('.');

    // 10. State fields, ending with the busy flag set.
    MeasurementPages = {MultimeterLMDTabSheet};
    SelectedCrateIndex = kNoCrateSelected;
    IniFile = nullptr;
    StartupState = 0;
    InitThreadRunning = false;
    InitRequestAllowed = true;
    MainThreadRunning = false;
    MainRequestAllowed = true;
    MeasurementFinished = true;
    Busy = true;

    // 11, 12. Acquisition time and both reference-voltage lists.
    AcquisitionTimeLMDLabel->setText(QStringLiteral("-----"));
    for (QComboBox *list : {ReferenceVoltageLMDComboBox, RefVoltageForClbCoeffsLMDComboBox}) {
        list->clear();
        for (int i = 0; i < kReferenceVoltageCount; ++i)
            list->addItem(ReferenceVoltageItem(i));
        list->setMaxVisibleItems(kReferenceVoltageCount);
    }

    // 13, 14, 15. The range table and the common range list.
    for (int i = 0; i < kRangeCount; ++i) {
        RangeCaptions[i] = RangeCaption(i);
        RangeShortNames[i] = RangeShortName(i);
    }
    CommonInputRangeLMDComboBox->clear();
    for (int i = 0; i < kRangeCount; ++i)
        CommonInputRangeLMDComboBox->addItem(RangeListItem(RangeCaptions[i]));
    CommonInputRangeLMDComboBox->setMaxVisibleItems(kRangeCount);
    for (int i = 0; i < kRangeCount; ++i) {
        UpperLimits[i] = RangeUpperLimit(i);
        LowerLimits[i] = RangeLowerLimit(i);
        RangeCodes[i] = ModuleRangeCode(i);
    }

    // 16. Nothing chosen until the settings load.
    AllChannelsLMDCheckBox->setCheckState(Qt::Unchecked);
    CommonInputRangeLMDComboBox->setCurrentIndex(-1);
    ReferenceVoltageLMDComboBox->setCurrentIndex(-1);

    // 17. The eight channel panels, a gap-free column centred in the group.
    for (int j = 0; j < kChannelCount; ++j) {
        auto *panel =
            new TKova8AdcChannelFrame(AdcIndividualParsLMDGroupBox, kRangeCount,
                                      RangeCaptions.data(), static_cast<std::uint16_t>(j));
        ChannelPanels[j] = panel;
        panel->setObjectName(QStringLiteral("Kova8AdcChannel%1Frame").arg(j));
        const QRect inner = panel->Kova8AdcChannelLMDSimplePanel->geometry();
        panel->resize(inner.left() + inner.width(), inner.top() + inner.height());
        panel->move(ChannelPanelPosition(AdcIndividualParsLMDGroupBox->size(), panel->size(), j,
                                         kChannelCount));
        connect(panel->ChannelNumberLMDCheckBox, &QCheckBox::stateChanged, this,
                [this, j] { EnaChannelLMDCheckBoxChange(j); });
        connect(panel->InputRangeLMDComboBox, &QComboBox::currentIndexChanged, this,
                [this, j] { ChannelInputRangeChange(j); });
        panel->DisablePanel();
        ResetChannelPanel(j);
        panel->setVisible(true);
    }

    // 18 - 20.
    MainLMDPageControl->setCurrentWidget(MultimeterLMDTabSheet);
    FitWindow();
    HideUnusedParts();

    // 21. Construction is over.
    Busy = false;
    StartupState = 1;

    // 22. The caption tracing goes off from version code 9 on.
    WindowsVersionCode = platform::GetWindowsVersionCode();
    if (WindowsVersionCode >= 9)
        DisableCaptionTracing(this);
}

TMainForm::~TMainForm() {
    if (auto *app = QCoreApplication::instance())
        app->removeEventFilter(this);
    ShutDownDeviceWork();
    FormDestroy();
}

void TMainForm::BuildPopupMenu() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    auto item = [this](QAction *&action, const char *name, const QString &caption,
                       const QKeySequence &shortcut) {
        action = PopupMenu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action); // the shortcuts work without the menu open
    };
    auto separator = [this](QAction *&action, const char *name) {
        action = PopupMenu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
    };
    item(RebootDeviceMenuItem, "RebootDeviceMenuItem", QStringLiteral("Перезагрузка Изделия"),
         QKeySequence(Qt::CTRL | Qt::Key_R));
    PopupMenu->setDefaultAction(RebootDeviceMenuItem);
    separator(BreakLine1, "BreakLine1");
    item(SaveDefaultSettings, "SaveDefaultSettings", QStringLiteral("Сохранение штатных настроек"),
         QKeySequence(Qt::CTRL | Qt::Key_D));
    item(SaveCurrentSettings, "SaveCurrentSettings", QStringLiteral("Сохранение текущих настроек"),
         QKeySequence(Qt::CTRL | Qt::Key_S));
    separator(BreakLine2, "BreakLine2");
    item(AboutProgram, "AboutProgram", QStringLiteral("О программе ..."),
         QKeySequence(Qt::CTRL | Qt::Key_A));
    separator(BreakLine3, "BreakLine3");
    item(ApplicationExit, "ApplicationExit", QStringLiteral("Выход"),
         QKeySequence(Qt::CTRL | Qt::Key_Q));
    ApplicationExit->setToolTip(QStringLiteral("Спокойный выход из программы"));
    ApplicationExit->setStatusTip(ApplicationExit->toolTip());

    connect(SaveDefaultSettings, &QAction::triggered, this, [this] { SaveDefaultSettingsClick(); });
    connect(SaveCurrentSettings, &QAction::triggered, this, [this] { SaveCurrentSettingsClick(); });
    connect(ApplicationExit, &QAction::triggered, this, [this] { ApplicationExitClick(); });

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (PopupMenuAutoPopup)
            PopupMenu->popup(mapToGlobal(pos));
    });
}

void TMainForm::FitWindow() {
    WindowFitInput in;
    in.designClient = minimumSize();
    in.selectedPanelWidth = SelectedModuleLMDSimplePanel->width();
    in.bevelLeft = Bevel3->x();
    in.equipmentHeight = EquipmentLMDSimplePanel->height();
    in.workArea = platform::WorkArea(this);
    in.captionHeight = platform::CaptionHeight();
    in.dialogFrameWidth = platform::DialogFrameWidth();
    in.dialogFrameHeight = platform::DialogFrameHeight();
    const WindowFit fit = FitMainWindow(in);

    // No maximise button, fixed border.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    SelectedModuleLMDSimplePanel->resize(SelectedModuleLMDSimplePanel->width() - fit.shift,
                                         SelectedModuleLMDSimplePanel->height());
    StartMultimeterLMDSimplePanel->move(StartMultimeterLMDSimplePanel->pos() -
                                        QPoint(fit.shift, 0));
    SaveIniSettingLMDGroupBox->move(SaveIniSettingLMDGroupBox->pos() - QPoint(fit.shift, 0));

    setMinimumSize(fit.client);
    setFixedSize(fit.client);
    AlignClientPanels();

    MultimeterLMDSimplePanel->resize(MultimeterLMDSimplePanel->width(),
                                     MultimeterLMDSimplePanel->height() -
                                         EquipmentLMDSimplePanel->height());

    // Opens at the screen centre.
    const QSize screen = platform::ScreenSize();
    move((screen.width() - fit.outer.width()) / 2, (screen.height() - fit.outer.height()) / 2);
}

void TMainForm::AlignClientPanels() {
    ModuleDetectionLMDGroupBox->setGeometry(0, 0, width(), ModuleDetectionLMDGroupBox->height());
    const int top = ModuleDetectionLMDGroupBox->height();
    MainLMDSimplePanel->setGeometry(0, top, width(), std::max(0, height() - top));
    MainLMDPageControl->setGeometry(0, 0, MainLMDSimplePanel->width(),
                                    MainLMDSimplePanel->height());
}

void TMainForm::HideUnusedParts() {
    Bevel3->setVisible(false);
    GeneratorStatusLed->setVisible(false);
    VoltmeterStatusLed->setVisible(false);
    CompensationLMDSpeedButton->setVisible(false);
    CommonParsLMDSimplePanel->resize(CommonParsLMDSimplePanel->width() -
                                         (CompensationLMDSpeedButton->width() + 7),
                                     CommonParsLMDSimplePanel->height());

    AcquisitionTimeLMDSimplePanel->setVisible(false);
    const int halfTimePanel = AcquisitionTimeLMDSimplePanel->width() / 2;
    ChannelCommonParsLMDSimplePanel->move(ChannelCommonParsLMDSimplePanel->pos() +
                                          QPoint(halfTimePanel, 0));
    CommonParsLMDSimplePanel->move(CommonParsLMDSimplePanel->pos() + QPoint(halfTimePanel, 0));

    EquipmentLMDSimplePanel->setVisible(false);
    GeneratorLMDGroupBox->setVisible(false);
    VoltmeterLMDGroupBox->setVisible(false);

    MainLMDPageControl->setTabVisible(MainLMDPageControl->indexOf(CorrectionFactorsLMDTabSheet),
                                      false);
    MainLMDPageControl->setTabVisible(MainLMDPageControl->indexOf(VerificationLMDTabSheet), false);
}

void TMainForm::ResetChannelPanel(int channelIndex) {
    TKova8AdcChannelFrame *panel = ChannelPanels.at(static_cast<std::size_t>(channelIndex));
    if (!panel)
        return;
    panel->ChannelNumberLMDCheckBox->setCheckState(Qt::Unchecked);
    panel->InputRangeLMDComboBox->setCurrentIndex(-1);
    panel->SetValueFontColor(platform::ColorFromWin(platform::clLime));
    panel->ValueLMDEdit->setText(QStringLiteral("--------"));
    panel->SetLampState(TKova8AdcChannelFrame::LampState::Off);
}

void TMainForm::DisableCaptionTracing(QWidget *container) {
    // Qt's group boxes, buttons and check boxes draw no traced caption, so
    // there is no width to switch off; the walk marks them for the record.
    for (QObject *child : container->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w)
            continue;
        if (!w->children().isEmpty())
            DisableCaptionTracing(w);
        if (qobject_cast<QGroupBox *>(w) || qobject_cast<QAbstractButton *>(w))
            w->setProperty("captionTracingWidth", 0);
    }
}

// ---- the window's own events

void TMainForm::FormCreate() {
    platform::SetDecimalSeparator('.');
}

void TMainForm::FormActivate() {
    platform::SetDecimalSeparator('.');
}

void TMainForm::FormShow() {
    if (Busy)
        return;
    Busy = true;
    if (StartupState == 1)
        StartupState = 2;
    Busy = false;
}

void TMainForm::FormResize() {
    if (Busy)
        return;
    Busy = true;
    if (StartupState == 2) {
        StartupState = 3;
        RequestDiscovery(3, true);
    }
    Busy = false;
}

void TMainForm::FormClose() {
    if (Busy) {
        // A close inside a handler skips the saving, but never leaves a
        // thread or an open module behind the window.
        ShutDownDeviceWork();
        return;
    }
    Busy = true;
    if (AutoSaveSettingsLMDCheckBox->isChecked())
        SaveIniFile(SettingsFilePath());
    IniFile = nullptr; // the settings writers create and release their own objects
    ShutDownDeviceWork();
    Busy = false;
}

void TMainForm::FormDestroy() {}

void TMainForm::ApplicationExitClick() {
    Busy = false;
    close();
}

void TMainForm::ShutDownDeviceWork() {
    WindowClosing = true;
    WaitForDiscoveryEnd();
    StopThread();
    CloseModule();
}

void TMainForm::WaitForDiscoveryEnd() {
    WaitPumpingEvents([this] { return !InitThreadRunning && !InitThreadAlive; });
}

// ---- application-wide handlers

void TMainForm::ApplicationShortCut(int key, bool &handled) {
    if (key != kVkEscape)
        return;
    if (Busy || InitThreadRunning) {
        Busy = false;
        handled = true;
        return;
    }
    if (MainLMDPageControl->currentIndex() == 0 && !MeasurementFinished)
        StopThread();
}

void TMainForm::ApplicationActivate() {
    for (TKova8AdcChannelFrame *panel : ChannelPanels) {
        if (!panel)
            continue;
        panel->ApplicationActive = true;
        panel->ValueFocusFollowsPointer = true;
    }
}

void TMainForm::ApplicationDeactivate() {
    for (TKova8AdcChannelFrame *panel : ChannelPanels) {
        if (!panel)
            continue;
        panel->ApplicationActive = false;
        panel->ValueFocusFollowsPointer = false;
    }
}

void TMainForm::ApplicationShowHint(const QString &hintText, QPoint &hintPos, int &hideTimeout) {
    if (HintWindow)
        hintPos = PlaceHint(hintPos, HintWindowSize(hintText), platform::WorkArea(this));
    hideTimeout = kHintHideTime;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        // The window system hands a key to the window first, then the window
        // to its focus widget: taking it at the window sees every key once,
        // before any control does.
        if (ShortCutHandlerAttached && watched->isWindowType()) {
            auto *key = static_cast<QKeyEvent *>(event);
            bool handled = false;
            if (key->key() == Qt::Key_Escape)
                ApplicationShortCut(kVkEscape, handled);
            if (handled)
                return true;
        }
        break;
    case QEvent::ToolTip:
        if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->window() == this) {
            const QString text = widget->toolTip();
            if (text.isEmpty())
                break;
            auto *help = static_cast<QHelpEvent *>(event);
            QPoint pos = help->globalPos() + kHintOffset;
            int hideTimeout = HintHidePause;
            ApplicationShowHint(text, pos, hideTimeout);
            QToolTip::showText(help->globalPos(), text, widget, QRect(), hideTimeout);
            // Qt adds its own offset and may flip the tip above the cursor: the
            // placement is about where the hint window ends up, so it is put
            // exactly where the handler placed it.
            if (HintWindow) {
                if (QWidget *tip = ShownHintWindow())
                    tip->move(pos);
            }
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    FormShow();
    if (!shown_) {
        shown_ = true;
        // A Windows window is sized once more when first shown; Qt sends that
        // resize before the show, so the first one after it is queued here.
        QMetaObject::invokeMethod(
            this, [this] { FormResize(); }, Qt::QueuedConnection);
    }
}

void TMainForm::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    AlignClientPanels();
    FormResize();
}

void TMainForm::closeEvent(QCloseEvent *event) {
    FormClose();
    event->accept();
}

void TMainForm::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QWidget::changeEvent(event);
}

void TMainForm::CloseModule() {
    if (Device->KOVA8_IsOpened(&Descriptor) == 0)
        Device->KOVA8_Close(&Descriptor);
}
