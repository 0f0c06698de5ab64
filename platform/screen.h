#pragma once
// Screen size, work area and the few system metrics the window fits itself by.

#include <QRect>
#include <QSize>

class QWidget;

namespace platform {

// The whole primary screen.
QSize ScreenSize();

// The work area (screen without panels) of the monitor that shows the widget;
// the primary screen's when the widget has none yet.
QRect WorkArea(const QWidget *widget);

// X11 reports no frame sizes before a window is mapped, so these are the
// fixed values of a standard Windows theme at 96 dpi.
int CaptionHeight();     // SM_CYCAPTION
int DialogFrameWidth();  // SM_CXDLGFRAME
int DialogFrameHeight(); // SM_CYDLGFRAME

} // namespace platform
