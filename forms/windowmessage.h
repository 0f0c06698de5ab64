#pragma once
// A private window message: the window posts it to itself, with the two
// parameters a Windows message carries.

#include <QEvent>

#include <cstdint>

class TWindowMessage : public QEvent {
public:
    TWindowMessage(int type, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(type)), WParam(wParam), LParam(lParam) {}

    std::uintptr_t WParam;
    std::intptr_t LParam;
};
