#pragma once
// Texts of the device strip: list items, lamp hints, window captions.

#include <QString>

#include <cstdint>

inline constexpr std::uint16_t kKova8ModuleId = 0xD4D4;

// "1: <serial>" for crate index 0.
QString CrateListItem(int crateIndex, const QString &serial);
// "Слот 4: KOVA8M-3" for variant 0, "Слот 4: KOVA8M-2" for variant 2.
QString ModuleListItem(int slot, std::uint8_t variant);

enum class StatusDisplay { Pending, Result };

QString CrateStatusHint(StatusDisplay display, bool crateOk);
// The module name is shown as given; the caller puts "???" for an empty one.
QString ModuleStatusHint(StatusDisplay display, const QString &moduleName, bool moduleReady);
// "KOVA8_duvu - 1.0.0" for a result, the fallback caption while pending.
QString DeviceCaption(StatusDisplay display, const QString &fallbackCaption);

// A NUL-terminated serial of a fixed table entry, at most 15 characters, in
// the device's code page.
QString SerialText(const char *bytes, std::size_t size);
