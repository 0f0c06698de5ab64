#include "platform/colors.h"

#include <QApplication>
#include <QPalette>

namespace platform {

QColor ColorFromWin(std::uint32_t bgr) {
    const int red = static_cast<int>(bgr & 0xFFu);
    const int green = static_cast<int>((bgr >> 8) & 0xFFu);
    const int blue = static_cast<int>((bgr >> 16) & 0xFFu);
    return QColor(red, green, blue);
}

std::uint32_t ColorToWin(const QColor &color) {
    return static_cast<std::uint32_t>(color.red()) |
           (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

QColor ButtonFaceColor() { return QApplication::palette().color(QPalette::Button); }

} // namespace platform
