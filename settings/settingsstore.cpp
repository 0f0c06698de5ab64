#include "settings/settingsstore.h"

#include <cstddef>

namespace settings {
namespace {

std::size_t At(int index) {
    return static_cast<std::size_t>(index);
}

} // namespace

bool WriteAppSettings(TIniFile &ini, const AppSettings &values) {
    bool ok = ini.WriteBool(kAppSection, kAutoSaveKey, values.autoSave) &&
              ini.WriteInteger(kAppSection, kWindowTopKey, values.windowTop) &&
              ini.WriteInteger(kAppSection, kWindowLeftKey, values.windowLeft);
    if (ok && values.crateSerial) {
        ok = ini.WriteString(kDetectionSection, kCrateSerialKey, *values.crateSerial);
        if (ok && values.moduleSlot) {
            ok = ini.WriteInteger(kDetectionSection, kModuleSlotKey, *values.moduleSlot);
        }
    }
    return ok && ini.UpdateFile();
}

bool WriteModuleSettings(TIniFile &ini, const ModuleSettings &values) {
    if (!ini.WriteBool(kModuleSection, kAllChannelsKey, values.allChannels)) {
        return false;
    }
    for (int i = 0; i < kChannelCount; ++i) {
        if (!ini.WriteBool(kModuleSection, ChannelEnableKey(i), values.channelEnabled[At(i)])) {
            return false;
        }
    }
    if (!ini.WriteInteger(kModuleSection, kCommonRangeKey, values.commonRange)) {
        return false;
    }
    for (int i = 0; i < kChannelCount; ++i) {
        if (!ini.WriteInteger(kModuleSection, ChannelRangeKey(i), values.channelRange[At(i)])) {
            return false;
        }
    }
    return ini.WriteInteger(kModuleSection, kReferenceVoltageKey, values.referenceVoltage) &&
           ini.UpdateFile();
}

bool WriteDefaultAppSettings(TIniFile &ini) {
    return ini.WriteString(kAppSection, kAutoSaveKey, QStringLiteral("0")) &&
           ini.WriteString(kAppSection, kWindowTopKey, QStringLiteral("-1")) &&
           ini.WriteString(kAppSection, kWindowLeftKey, QStringLiteral("-1")) &&
           ini.WriteString(kAppSection, kCoefsSourceKey, QStringLiteral("0")) &&
           ini.WriteString(kDetectionSection, kCrateSerialKey, QString()) &&
           ini.WriteString(kDetectionSection, kModuleSlotKey, QStringLiteral("-1")) &&
           ini.UpdateFile();
}

bool WriteDefaultModuleSettings(TIniFile &ini) {
    if (!ini.WriteString(kModuleSection, kMaxAcquisitionTimeKey, QStringLiteral("0.5")) ||
        !ini.WriteString(kModuleSection, kReferenceVoltageKey, QStringLiteral("1")) ||
        !ini.WriteString(kModuleSection, kAllChannelsKey, QStringLiteral("1"))) {
        return false;
    }
    for (int i = 0; i < kChannelCount; ++i) {
        if (!ini.WriteString(kModuleSection, ChannelEnableKey(i), QStringLiteral("1"))) {
            return false;
        }
    }
    if (!ini.WriteString(kModuleSection, kCommonRangeKey, QStringLiteral("0"))) {
        return false;
    }
    for (int r = 0; r < kRangeCount; ++r) {
        if (!ini.WriteString(kModuleSection, DisplayPrecisionKey(r), QStringLiteral("4"))) {
            return false;
        }
    }
    return ini.UpdateFile();
}

DetectionSettings ReadDetectionSettings(const TIniFile *ini) {
    DetectionSettings values;
    if (ini != nullptr) {
        values.crateSerial = ini->ReadString(kDetectionSection, kCrateSerialKey, QString());
        values.moduleSlot =
            ini->ReadInteger(kDetectionSection, kModuleSlotKey, kModuleSlotFallback);
    }
    return values;
}

WindowPosition ReadWindowPosition(const TIniFile &ini) {
    return {ini.ReadInteger(kAppSection, kWindowTopKey, kWindowEdgeFallback),
            ini.ReadInteger(kAppSection, kWindowLeftKey, kWindowEdgeFallback)};
}

bool ReadAutoSave(const TIniFile &ini) {
    return ini.ReadInteger(kAppSection, kAutoSaveKey, kAutoSaveFallback ? 1 : 0) != 0;
}

StoredModuleSettings ReadModuleSettings(const TIniFile &ini) {
    StoredModuleSettings values;
    values.maxAcquisitionTime =
        ini.ReadFloat(kModuleSection, kMaxAcquisitionTimeKey, kMaxAcquisitionTimeFallback);
    for (int r = 0; r < kRangeCount; ++r) {
        const std::uint16_t precision = CapDisplayPrecision(
            ini.ReadInteger(kModuleSection, DisplayPrecisionKey(r), kDisplayPrecisionFallback));
        values.displayPrecision[At(r)] = precision;
        values.displayFormat[At(r)] = DisplayFormat(precision);
    }
    values.allChannels = ini.ReadBool(kModuleSection, kAllChannelsKey, kAllChannelsFallback);
    values.commonRange = ini.ReadInteger(kModuleSection, kCommonRangeKey, kCommonRangeFallback);
    values.referenceVoltage =
        ini.ReadInteger(kModuleSection, kReferenceVoltageKey, kReferenceVoltageFallback);
    for (int i = 0; i < kChannelCount; ++i) {
        values.channelEnabled[At(i)] =
            ini.ReadBool(kModuleSection, ChannelEnableKey(i), kChannelEnableFallback);
        values.channelRange[At(i)] =
            ini.ReadInteger(kModuleSection, ChannelRangeKey(i), kChannelRangeFallback);
    }
    return values;
}

int ReadCoefsSource(const TIniFile &ini) {
    return ini.ReadInteger(kAppSection, kCoefsSourceKey, kCoefsSourceFallback);
}

} // namespace settings
