#pragma once
// Names of the settings file, its sections and its keys, and the small value
// rules that go with them. Keys hold inner runs of blanks and one Latin letter
// among Cyrillic ones; they are written here once, byte for byte, and used
// from here everywhere.

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>

namespace settings {

inline constexpr int kChannelCount = 8;
inline constexpr int kRangeCount = 8;

inline constexpr QStringView kSettingsFileName = u"Kova8_Duvu.ini";
// The folder under the user's configuration folder for an installed program.
inline constexpr QStringView kUserSettingsFolderName = u"kova8-duvu";

// The folder of the settings file for an executable in exeFolder: exeFolder
// when the file already exists there or the user can write there; otherwise
// kUserSettingsFolderName in $XDG_CONFIG_HOME (else ~/.config), created.
QString SettingsFolderFor(const QString &exeFolder);
// Full path of the settings file: SettingsFolderFor the executable's folder,
// or the folder a test set with SetSettingsDirectory, then the file name.
// Built anew on every call, as every settings operation builds it when it runs.
QString SettingsFilePath();
// An empty folder restores the executable's folder.
void SetSettingsDirectory(const QString &folder);

// Section "Приложение. Общие".
inline constexpr QStringView kAppSection = u"Приложение. Общие";
inline constexpr QStringView kAutoSaveKey = u"Сохранение настроек";
inline constexpr QStringView kWindowTopKey = u"Top    основной панели";
inline constexpr QStringView kWindowLeftKey = u"Left   основной панели";
inline constexpr QStringView kCoefsSourceKey = u"Источник загрузки корректировочных коэфф.";

// Section "Приложение. Обнаружение".
inline constexpr QStringView kDetectionSection = u"Приложение. Обнаружение";
inline constexpr QStringView kCrateSerialKey = u"Серийный номер KOVA крейта";
inline constexpr QStringView kModuleSlotKey = u"Слот модуля";

// Section "Модуль KOVA8".
inline constexpr QStringView kModuleSection = u"Модуль KOVA8";
// The M of the second word is the Latin letter.
inline constexpr QStringView kMaxAcquisitionTimeKey = u"АЦП. Mаксимальное время сбора данных, с";
inline constexpr QStringView kAllChannelsKey = u"АЦП. Групповое управление каналами";
inline constexpr QStringView kCommonRangeKey = u"АЦП. Групповое управление входным диапазоном";
inline constexpr QStringView kReferenceVoltageKey =
    u"АЦП. Управление источником опорного напряжения";

// The range captions as the display-precision keys carry them, by range index.
inline constexpr std::array<QStringView, kRangeCount> kRangeCaptions = {
    u"  от -80 до +80 мВ", u"  от -40 до +40 мВ", u"  от -20 до +20 мВ", u"  от -10 до +10 мВ",
    u"от +0.02 до +80 мВ", u"от +0.01 до +40 мВ", u"от +0.01 до +20 мВ", u"от +0.01 до +10 мВ"};

// "АЦП. Управление каналом N" for channel index 0..7 (N = index + 1).
QString ChannelEnableKey(int channelIndex);
// "АЦП. Управление входным диапазоном канала N" for channel index 0..7.
QString ChannelRangeKey(int channelIndex);
// "АЦП. Диапазон " + caption + ". DC precision" for range index 0..7.
QString DisplayPrecisionKey(int rangeIndex);

// Fallbacks of the readers.
inline constexpr bool kAutoSaveFallback = false;
inline constexpr int kWindowEdgeFallback = -1; // -1: keep the position the window opens at
inline constexpr int kCoefsSourceFallback = 1;
inline constexpr int kModuleSlotFallback = -1;
inline constexpr double kMaxAcquisitionTimeFallback = 0.05;
inline constexpr int kDisplayPrecisionFallback = 4;
inline constexpr bool kAllChannelsFallback = true;
inline constexpr int kCommonRangeFallback = 0;
inline constexpr int kReferenceVoltageFallback = 1;
inline constexpr bool kChannelEnableFallback = true;
inline constexpr int kChannelRangeFallback = 0;

inline constexpr std::uint16_t kMaxDisplayPrecision = 7;

// The stored precision taken as an unsigned 16-bit count (so -1 is 65535)
// and lowered to 7 when above it.
std::uint16_t CapDisplayPrecision(int stored);
// "0." followed by `precision` zeros: 4 gives "0.0000", 0 gives "0.".
QString DisplayFormat(std::uint16_t precision);

} // namespace settings
