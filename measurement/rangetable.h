#pragma once
// The module's eight input ranges and the list texts built from them. The
// range index is the position in every range list, in the settings file and in
// the coefficient tables; the module range code is what the module library
// takes for a range.

#include <QString>

#include <cstdint>

inline constexpr int kRangeCount = 8;
inline constexpr int kChannelCount = 8;

QString RangeCaption(int rangeIndex);
QString RangeShortName(int rangeIndex);
double RangeLowerLimit(int rangeIndex); // millivolts
double RangeUpperLimit(int rangeIndex); // millivolts
std::int32_t ModuleRangeCode(int rangeIndex);
// The mapping is its own inverse; -1 for a code outside 0..7.
int RangeIndexFromModuleCode(std::int32_t code);

// A range list item: one blank, then the caption.
QString RangeListItem(const QString &caption);

// The two reference-voltage list items, index 0 = 2.5 V, 1 = 5.0 V.
inline constexpr int kReferenceVoltageCount = 2;
QString ReferenceVoltageItem(int referenceIndex);

// The window's caption for a channel: "Канал " and the channel number.
QString ChannelTitle(int channelIndex);
