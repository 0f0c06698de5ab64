#pragma once
// What the two writers put into the settings file, in their exact key order,
// and what the readers take out of it, with the fallbacks. The window gathers
// its controls' state into these records and applies what is read; the file
// side is here, so it is tested without a window.

#include "settings/inifile.h"
#include "settings/settingskeys.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace settings {

// The current-settings writer's application half.
struct AppSettings {
    bool autoSave = false;
    int windowTop = -1;
    int windowLeft = -1;
    // Written only while a crate is selected.
    std::optional<QString> crateSerial;
    // Written only while both a crate and a module are selected.
    std::optional<int> moduleSlot;
};

// The current-settings writer's module half; a list without a selection is -1.
struct ModuleSettings {
    bool allChannels = true;
    std::array<bool, kChannelCount> channelEnabled{};
    int commonRange = -1;
    std::array<int, kChannelCount> channelRange{};
    int referenceVoltage = -1;
};

// Everything the settings load reads from the module section.
struct StoredModuleSettings {
    double maxAcquisitionTime = kMaxAcquisitionTimeFallback;
    std::array<std::uint16_t, kRangeCount> displayPrecision{};
    std::array<QString, kRangeCount> displayFormat{};
    bool allChannels = kAllChannelsFallback;
    int commonRange = kCommonRangeFallback;
    int referenceVoltage = kReferenceVoltageFallback;
    std::array<bool, kChannelCount> channelEnabled{};
    std::array<int, kChannelCount> channelRange{};
};

struct DetectionSettings {
    QString crateSerial;
    int moduleSlot = kModuleSlotFallback;
};

struct WindowPosition {
    int top = kWindowEdgeFallback;
    int left = kWindowEdgeFallback;
};

// Each writer stops at the first key that cannot be written and returns false;
// what it wrote before stays in the file.
bool WriteAppSettings(TIniFile &ini, const AppSettings &values);
bool WriteModuleSettings(TIniFile &ini, const ModuleSettings &values);
bool WriteDefaultAppSettings(TIniFile &ini);
bool WriteDefaultModuleSettings(TIniFile &ini);

// Without a file object: empty serial and slot -1.
DetectionSettings ReadDetectionSettings(const TIniFile *ini);
WindowPosition ReadWindowPosition(const TIniFile &ini);
// The auto-save choice as the settings load takes it: integer, non-zero is on.
bool ReadAutoSave(const TIniFile &ini);
StoredModuleSettings ReadModuleSettings(const TIniFile &ini);
// The coefficient source setting, kept for the coefficient tables.
int ReadCoefsSource(const TIniFile &ini);

} // namespace settings
