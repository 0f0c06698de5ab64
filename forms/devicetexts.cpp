#include "forms/devicetexts.h"

#include "platform/codepage.h"
#include "platform/version.h"

#include <cstring>

QString CrateListItem(int crateIndex, const QString &serial) {
    return QString::number(crateIndex + 1) + QStringLiteral(": ") + serial;
}

QString ModuleListItem(int slot, std::uint8_t variant) {
    return QStringLiteral("Слот ") + QString::number(slot) + QStringLiteral(": ") +
           QStringLiteral("KOVA8") + QStringLiteral("M-") +
           (variant != 0 ? QString::number(variant) : QStringLiteral("3"));
}

QString CrateStatusHint(StatusDisplay display, bool crateOk) {
    if (display == StatusDisplay::Pending)
        return QStringLiteral("Статус KOVA крейта -> ???");
    return crateOk ? QStringLiteral("Статус KOVA крейта -> OK")
                   : QStringLiteral("Статус KOVA крейта -> BAD");
}

QString ModuleStatusHint(StatusDisplay display, const QString &moduleName, bool moduleReady) {
    QString hint = QStringLiteral("Статус модуля '") + moduleName;
    if (display == StatusDisplay::Pending)
        hint += QStringLiteral("'-> ???");
    else if (moduleReady)
        hint += QStringLiteral("' -> OK");
    else
        hint += QStringLiteral("' -> BAD");
    return hint;
}

QString DeviceCaption(StatusDisplay display, const QString &fallbackCaption) {
    if (display == StatusDisplay::Pending)
        return fallbackCaption;
    return QStringLiteral("KOVA8_duvu - ") + platform::ProgramVersion();
}

QString SerialText(const char *bytes, std::size_t size) {
    return platform::FieldFromCodePage(bytes, std::min<std::size_t>(size, 15));
}
