#pragma once
// The round status lamp of the device strip: a filled circle whose colour the
// window sets (pending, OK, bad), with an outline so it stays visible on the
// button face.

#include <QColor>
#include <QWidget>

class TRoundLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor brushColor READ BrushColor WRITE SetBrushColor)

public:
    explicit TRoundLamp(QWidget *parent = nullptr);

    QColor BrushColor() const { return brushColor_; }
    void SetBrushColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor brushColor_;
};
