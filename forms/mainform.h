#pragma once
// The program's one window. Its component tree comes from mainform.ui; the
// constructor completes it at run time (tables, lists, channel panels, fitting
// to the monitor, hiding what this system does not use). The window owns all
// lasting state of the run as plain fields, which the worker threads reach
// through the thread frame's synchronised steps.

#include "device/kovadevice.h"
#include "measurement/correctioncoefs.h"
#include "forms/devicetexts.h"
#include "forms/kova8adcchannelframe.h"
#include "measurement/rangetable.h"
#include "settings/inifile.h"
#include "settings/settingsstore.h"
#include "ui_mainform.h"

#include <QMenu>
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class TMainThread;
class TWindowMessage;
class QAction;

// Private window messages the window posts to itself.
inline constexpr int kDiscoveryRequestEvent = 1124; // user base 1024 + 100
inline constexpr int kMeasurementStartEvent = 1125; // user base 1024 + 101

inline constexpr std::uint16_t kNoCrateSelected = 0xFFFF;
inline constexpr int kMaxCrates = 16;
inline constexpr int kMaxSlots = 16;
inline constexpr int kSerialBytes = 16; // 15 characters and the NUL

// Enables or disables a control and, depth first, every control inside it;
// when enabling, keepChildrenOf is enabled itself but its children are left
// as they are.
void SetControlTreeEnabled(QWidget *control, bool enabled, const QWidget *keepChildrenOf = nullptr);

class TMainForm : public QWidget, public Ui::TMainForm {
    Q_OBJECT

public:
    // device null: the production device (the crate and module libraries).
    explicit TMainForm(QWidget *owner = nullptr, TKovaDevice *device = nullptr);
    ~TMainForm() override;

    // ---- construction and lifecycle (mainform.cpp)
    void FormCreate();
    void FormActivate();
    void FormShow();
    void FormResize();
    void FormClose();
    void FormDestroy();
    void ApplicationExitClick();
    void ResetChannelPanel(int channelIndex);
    void DisableCaptionTracing(QWidget *container);
    // Application-wide handlers: the Escape key (offered for every possible
    // shortcut), activation, deactivation and the hint placement.
    void ApplicationShortCut(int key, bool &handled);
    void ApplicationActivate();
    void ApplicationDeactivate();
    void ApplicationShowHint(const QString &hintText, QPoint &hintPos, int &hideTimeout);
    // Waits, running pending events, until no discovery run is left that
    // could touch the window.
    void WaitForDiscoveryEnd();

    // ---- thread requests and messages (mainform_threads.cpp)
    void RequestDiscovery(std::uint16_t mode, bool useSettings);
    void OnStartInitDevicesThread(const TWindowMessage &message);
    void StartThread();
    void OnStartMainThread(const TWindowMessage &message);
    void StopThread();
    // Makes the thread dialogs go through ThreadMessageDialog; idempotent.
    static void RegisterThreadMessageDialog();

    // ---- device strip (mainform_devicestrip.cpp)
    void BindDeviceStripHandlers();
    // The strip's display of a discovery run; moduleName is the running
    // thread's, set to "???" here when it is empty.
    void ShowDeviceStatus(StatusDisplay display, std::uint16_t mode, QString &moduleName);
    void FindDeviceLMDButtonClick();
    void KovaCratesComboBoxChange();
    void ModulesComboBoxChange();
    void MainLMDPageControlChangingEx(QWidget *newPage, bool &allowChange);
    void MainLMDPageControlChanging();
    void MainLMDPageControlChange();
    // The open module's identity texts from the descriptor.
    QString DescriptorSerialText() const;
    QString DescriptorFirmwareText() const;

    // ---- multimeter page (mainform_multimeter.cpp)
    void EnaChannelLMDCheckBoxChange(int channelIndex);
    void ChannelInputRangeChange(int channelIndex);
    void BindMultimeterHandlers();
    void EnableChannelPanels();
    void StartLMDSpeedButtonClick();
    void AllChannelsLMDCheckBoxChange();
    void CommonInputRangeLMDComboBoxChange();
    void ReferenceVoltageLMDComboBoxChange();
    // The enabled look (value box and label usable) or the disabled look
    // (both disabled, "--------", lamp off) of one channel.
    void ShowChannelLook(int channelIndex, bool enabled);

    // ---- settings (mainform_settings.cpp)
    void BindSettingsHandlers();
    // The discovery run's settings file: creates the file with the default
    // settings when it is missing, then an object for it in `ini`. On false,
    // `errorText` holds the message for the discovery's error report, or is
    // empty when the default-settings writer showed its own message.
    bool OpenIniFile(std::unique_ptr<TIniFile> &ini, QString &errorText);
    // Crate serial and slot preselection; empty and -1 without a file object.
    settings::DetectionSettings ReadDetectionSettings(const TIniFile *ini) const;
    void ReadWindowPosition(const TIniFile *ini);
    // Puts every setting into the controls and fields; false when there is no
    // object or the coefficient load failed.
    bool LoadIniFile(const TIniFile *ini);
    bool LoadModuleSettings(const TIniFile *ini);
    // True when both halves were written; a failed half shows its message.
    bool SaveIniFile(const QString &fileName);
    bool SaveAppSettings(TIniFile *ini);
    bool SaveModuleSettings(TIniFile *ini);
    bool CreateDefaultIniFile(const QString &fileName);
    bool CreateDefaultAppSettings(TIniFile *ini);
    bool CreateDefaultModuleSettings(TIniFile *ini);
    void SaveSettingsButtonClick(QObject *sender);
    void SaveDefaultSettingsClick();
    void SaveCurrentSettingsClick();
    void AutoSaveSettingsLMDCheckBoxChange();
    // Filled by the settings load: seconds, and decimals per range index.
    double MaxAcquisitionTime = 0.0;
    std::array<std::uint16_t, kRangeCount> DisplayPrecision{};

    // ---- coefficients (mainform_coefs.cpp)
    void BindCoefsHandlers();
    // False without a file object (tables left as they were); otherwise
    // clears all three tables, reads the factory half of the selected
    // reference from the module and copies it to the working table.
    bool LoadCorrectionCoefs(const TIniFile *ini);
    bool CheckCorrectionCoefs();
    void ReadFactoryCorrectionCoefs();
    std::int32_t CoefsSource = 0;
    TCorrectionCoefsTable FactoryCoefs{};
    TCorrectionCoefsTable UserCoefs{};
    TCorrectionCoefsTable WorkingCoefs{};

    // ---- device (the module is closed by FormClose at the latest)
    TKovaDevice *Device = nullptr;
    // The open module's record, one for the whole run.
    Kova8Descriptor Descriptor{};
    // Closes the module when it is open; safe to call twice.
    void CloseModule();

    // ---- window tables and state (first values given by the constructor)
    std::array<TKova8AdcChannelFrame *, kChannelCount> ChannelPanels{};
    std::array<QString, kRangeCount> RangeCaptions;
    std::array<QString, kRangeCount> RangeShortNames;
    std::array<double, kRangeCount> UpperLimits{};
    std::array<double, kRangeCount> LowerLimits{};
    std::array<std::int32_t, kRangeCount> RangeCodes{};
    // Number format per range index, filled by the settings load.
    std::array<QString, kRangeCount> DisplayFormats;
    QString FallbackCaption;
    // Set when the application has a hint window whose font was set.
    bool HintWindow = false;
    // The pages a measurement job can be started for; job number = position.
    std::array<QWidget *, 1> MeasurementPages{};
    std::uint16_t JobNumber = 0;
    // The settings writers' file object; the discovery run keeps its own.
    std::unique_ptr<TIniFile> IniFile;

    bool Busy = true;
    std::uint8_t StartupState = 0;
    // The discovery thread sets its running flag from the worker.
    std::atomic<bool> InitThreadRunning = false;
    bool InitRequestAllowed = true;
    bool MainThreadRunning = false;
    bool MainRequestAllowed = true;
    bool MeasurementFinished = true;
    TMainThread *CurrentMainThread = nullptr;
    // The start handshake: set with the running flag, and also by the end
    // callback, but never cleared by it, so a window that waits for a thread
    // to announce itself cannot miss one that starts and ends between two
    // looks at the flag.
    std::atomic<bool> InitThreadStarted = false;
    bool MainThreadStarted = false;
    // A discovery thread exists (created, end callback not yet run).
    bool InitThreadAlive = false;
    // The last measurement start could not create its thread.
    bool MainStartFailed = false;
    bool MainThreadStopping = false;
    // Set by the closing sequence: nothing new starts after it.
    bool WindowClosing = false;
    std::uint32_t WindowsVersionCode = 0;
    // Cleared while a thread message dialog is up.
    bool ShortCutHandlerAttached = true;
    // The discovery thread switches it off from the worker.
    std::atomic<bool> PopupMenuAutoPopup = true;

    // Application hint settings.
    int HintPause = 200;
    int HintHidePause = 1500;

    // ---- device tables (discovery)
    std::array<std::array<char, kSerialBytes>, kMaxCrates> AttachedCrateSerials{};
    std::uint16_t AttachedCrateCount = 0;
    std::array<std::array<std::uint16_t, kMaxSlots>, kMaxCrates> ModuleIds{};
    std::array<std::array<char, kSerialBytes>, kMaxCrates> CrateSerials{};
    std::uint16_t CrateCount = 0;
    std::uint16_t SelectedCrateIndex = kNoCrateSelected;
    std::array<std::array<std::uint16_t, kMaxSlots>, kMaxCrates> ModuleSlots{};
    std::array<std::array<std::array<char, kSerialBytes>, kMaxSlots>, kMaxCrates> ModuleSerials{};
    std::array<std::array<std::uint8_t, kMaxSlots>, kMaxCrates> ModuleVariants{};
    std::array<std::uint16_t, kMaxCrates> ModuleCounts{};
    std::array<std::uint16_t, kMaxCrates> SelectedModuleIndex{};
    std::uint32_t CrateOk = 0;
    std::uint8_t ModuleState = 0;

    // ---- popup menu
    QMenu *PopupMenu = nullptr;
    QAction *RebootDeviceMenuItem = nullptr;
    QAction *BreakLine1 = nullptr;
    QAction *SaveDefaultSettings = nullptr;
    QAction *SaveCurrentSettings = nullptr;
    QAction *BreakLine2 = nullptr;
    QAction *AboutProgram = nullptr;
    QAction *BreakLine3 = nullptr;
    QAction *ApplicationExit = nullptr;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void BuildPopupMenu();
    void FitWindow();
    void HideUnusedParts();
    // Keeps the client-aligned panels filling the window.
    void AlignClientPanels();
    // What must happen before the window goes, whatever the busy flag says:
    // no discovery run left, no measurement thread, no open module.
    void ShutDownDeviceWork();

    std::unique_ptr<TKovaDevice> ownedDevice_;
    bool shown_ = false;
    int lastPageIndex_ = 0;
};
