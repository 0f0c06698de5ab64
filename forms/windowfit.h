#pragma once
// Window arithmetic that needs no window: fitting the main window to the work
// area of its monitor and keeping a hint inside it.

#include <QPoint>
#include <QRect>
#include <QSize>

struct WindowFitInput {
    QSize designClient;         // W0 × H0, the form's minimum client size
    int selectedPanelWidth = 0; // width of the device panel before narrowing
    int bevelLeft = 0;          // left of the bevel that ends its used part
    int equipmentHeight = 0;    // the hidden instrument panel's height
    QRect workArea;
    int captionHeight = 0;     // SM_CYCAPTION
    int dialogFrameWidth = 0;  // SM_CXDLGFRAME
    int dialogFrameHeight = 0; // SM_CYDLGFRAME
};

struct WindowFit {
    int shift = 0; // how far the device panel narrows and the panels after it move left
    QSize outer;   // the window with its caption and frame
    QSize client;  // the client area
};

WindowFit FitMainWindow(const WindowFitInput &in);

// A hint of the given size at pos that would reach past the work area's
// bottom or right edge moves to 10 pixels inside it; top and left are not
// checked.
QPoint PlaceHint(QPoint pos, QSize hintSize, const QRect &workArea);

// The channel panels' column in the individual-parameters group box.
QPoint ChannelPanelPosition(QSize groupBox, QSize panel, int channelIndex, int channelCount);
