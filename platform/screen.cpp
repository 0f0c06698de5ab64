#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

QSize ScreenSize() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

QRect WorkArea(const QWidget *widget) {
    const QScreen *screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

int CaptionHeight() { return 23; }
int DialogFrameWidth() { return 3; }
int DialogFrameHeight() { return 3; }

} // namespace platform
