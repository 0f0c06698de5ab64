#pragma once
// Colours travel through the system as Windows colour values 0x00BBGGRR
// (255 is red, 32768 dark green, 65280 lime green); this turns them into Qt's.

#include <QColor>

#include <cstdint>

namespace platform {

inline constexpr std::uint32_t clRed = 0x0000FF;
inline constexpr std::uint32_t clGreen = 0x008000;
inline constexpr std::uint32_t clLime = 0x00FF00;
inline constexpr std::uint32_t clYellow = 0x00FFFF;
inline constexpr std::uint32_t clBlack = 0x000000;
inline constexpr std::uint32_t clWhite = 0xFFFFFF;

QColor ColorFromWin(std::uint32_t bgr);
std::uint32_t ColorToWin(const QColor &color);

// The system's button-face colour, taken from the application palette.
QColor ButtonFaceColor();

} // namespace platform
