#include "widgets/ledlamp.h"

#include "platform/colors.h"

#include <QPainter>

TLedLamp::TLedLamp(QWidget *parent)
    : QWidget(parent), activeColor_(platform::ButtonFaceColor()),
      inactiveColor_(platform::ButtonFaceColor()) {}

void TLedLamp::SetActiveColor(const QColor &color) {
    activeColor_ = color;
    update();
}

void TLedLamp::SetInactiveColor(const QColor &color) {
    inactiveColor_ = color;
    update();
}

void TLedLamp::SetActive(bool active) {
    active_ = active;
    update();
}

void TLedLamp::SetBordered(bool bordered) {
    bordered_ = bordered;
    update();
}

void TLedLamp::paintEvent(QPaintEvent *) {
    const QColor shown = ShownColor();
    // A face-coloured lamp is no lamp: the page behind it is rarely the
    // button face itself, so a face-coloured disc would still show. A
    // bordered lamp keeps only its ring.
    const bool noLamp = shown == platform::ButtonFaceColor();
    if (noLamp && !bordered_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (bordered_)
        painter.setPen(QPen(palette().color(QPalette::Dark), 1));
    else
        painter.setPen(Qt::NoPen);
    if (noLamp) {
        painter.setBrush(Qt::NoBrush);
    } else {
        // A soft highlight makes a lit colour read as a lamp, not a dot.
        QRadialGradient gradient(width() * 0.35, height() * 0.35, width() * 0.6);
        gradient.setColorAt(0, shown.lighter(160));
        gradient.setColorAt(1, shown);
        painter.setBrush(gradient);
    }
    const int side = std::min(width(), height()) - 2;
    painter.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}
