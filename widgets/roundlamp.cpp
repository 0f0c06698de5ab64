#include "widgets/roundlamp.h"

#include "platform/colors.h"

#include <QPainter>

TRoundLamp::TRoundLamp(QWidget *parent)
    : QWidget(parent), brushColor_(platform::ButtonFaceColor()) {}

void TRoundLamp::SetBrushColor(const QColor &color) {
    if (brushColor_ == color)
        return;
    brushColor_ = color;
    update();
}

void TRoundLamp::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Dark), 1));
    painter.setBrush(brushColor_);
    const int side = std::min(width(), height()) - 2;
    painter.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}
