#include "platform/version.h"

namespace platform {

std::array<int, 3> ProgramVersionParts() {
    return {KOVA_VERSION_MAJOR, KOVA_VERSION_MINOR, KOVA_VERSION_PATCH};
}

QString ProgramVersion() {
    const auto parts = ProgramVersionParts();
    return QStringLiteral("%1.%2.%3").arg(parts[0]).arg(parts[1]).arg(parts[2]);
}

} // namespace platform
