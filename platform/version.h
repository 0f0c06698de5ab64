#pragma once
// The program's own version, compiled in from the build's project version.

#include <QString>

#include <array>

namespace platform {

// Major, minor, release.
std::array<int, 3> ProgramVersionParts();

// "1.0.0": the first three numbers, as the window caption shows them.
QString ProgramVersion();

} // namespace platform
