#include "forms/windowfit.h"

WindowFit FitMainWindow(const WindowFitInput &in) {
    WindowFit fit;
    const int frames = 2 * in.dialogFrameWidth;
    fit.shift = in.selectedPanelWidth - in.bevelLeft;

    int height =
        in.captionHeight + in.designClient.height() + 2 * in.dialogFrameHeight - in.equipmentHeight;
    if (in.workArea.height() < height)
        height = in.workArea.height();

    // The test is against the unnarrowed width, so a work area a little
    // wider than the narrowed window still gets exactly its own width.
    int width = 0;
    if (in.workArea.width() < in.designClient.width() + frames)
        width = in.workArea.width();
    else
        width = in.designClient.width() - fit.shift + frames;

    fit.outer = QSize(width, height);
    fit.client = QSize(width - frames, height - in.captionHeight - 2 * in.dialogFrameHeight);
    return fit;
}

QPoint PlaceHint(QPoint pos, QSize hintSize, const QRect &workArea) {
    // Windows rectangles: bottom and right are one past the last pixel.
    const int bottom = workArea.top() + workArea.height();
    const int right = workArea.left() + workArea.width();
    if (pos.y() + hintSize.height() > bottom)
        pos.setY(bottom - hintSize.height() - 10);
    if (pos.x() + hintSize.width() > right)
        pos.setX(right - hintSize.width() - 10);
    return pos;
}

QPoint ChannelPanelPosition(QSize groupBox, QSize panel, int channelIndex, int channelCount) {
    const int left = static_cast<int>((groupBox.width() - panel.width()) * 0.5);
    const int top0 =
        static_cast<int>((groupBox.height() - channelCount * panel.height()) * 0.5 + 12);
    return QPoint(left, top0 + channelIndex * panel.height());
}
