#include "measurement/rangetable.h"

#include <array>

namespace {

struct RangeRow {
    const char16_t *caption;
    const char16_t *shortName;
    double lower;
    double upper;
    std::int32_t code;
};

constexpr std::array<RangeRow, kRangeCount> kRanges{{
    {u"  от -80 до +80 мВ", u"±80", -80, 80, 3},
    {u"  от -40 до +40 мВ", u"±40", -40, 40, 2},
    {u"  от -20 до +20 мВ", u"±20", -20, 20, 1},
    {u"  от -10 до +10 мВ", u"±10", -10, 10, 0},
    {u"от +0.02 до +80 мВ", u"0...80", 0, 80, 7},
    {u"от +0.01 до +40 мВ", u"0...40", 0, 40, 6},
    {u"от +0.01 до +20 мВ", u"0...20", 0, 20, 5},
    {u"от +0.01 до +10 мВ", u"0...10", 0, 10, 4},
}};

const RangeRow &Row(int rangeIndex) {
    return kRanges.at(static_cast<std::size_t>(rangeIndex));
}

} // namespace

QString RangeCaption(int rangeIndex) {
    return QString::fromUtf16(Row(rangeIndex).caption);
}
QString RangeShortName(int rangeIndex) {
    return QString::fromUtf16(Row(rangeIndex).shortName);
}
double RangeLowerLimit(int rangeIndex) {
    return Row(rangeIndex).lower;
}
double RangeUpperLimit(int rangeIndex) {
    return Row(rangeIndex).upper;
}
std::int32_t ModuleRangeCode(int rangeIndex) {
    return Row(rangeIndex).code;
}

int RangeIndexFromModuleCode(std::int32_t code) {
    for (int i = 0; i < kRangeCount; ++i)
        if (kRanges[static_cast<std::size_t>(i)].code == code)
            return i;
    return -1;
}

QString RangeListItem(const QString &caption) {
    return QStringLiteral(" ") + caption;
}

QString ReferenceVoltageItem(int referenceIndex) {
    return referenceIndex == 0 ? QStringLiteral(" 2.5 B") : QStringLiteral(" 5.0 B");
}

QString ChannelTitle(int channelIndex) {
    return QStringLiteral("Канал ") + QString::number(channelIndex + 1);
}
