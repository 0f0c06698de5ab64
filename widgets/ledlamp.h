#pragma once
// The LED lamp of a channel panel: two colours, one shown while lit and one
// while unlit. A lamp showing the button-face colour paints no disc, so the
// channel lamp, which has no border, vanishes whatever lies behind it.

#include <QColor>
#include <QWidget>

class TLedLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor activeColor READ ActiveColor WRITE SetActiveColor)
    Q_PROPERTY(QColor inactiveColor READ InactiveColor WRITE SetInactiveColor)
    Q_PROPERTY(bool active READ Active WRITE SetActive)
    Q_PROPERTY(bool bordered READ Bordered WRITE SetBordered)

public:
    explicit TLedLamp(QWidget *parent = nullptr);

    QColor ActiveColor() const { return activeColor_; }
    void SetActiveColor(const QColor &color);
    QColor InactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(const QColor &color);
    bool Active() const { return active_; }
    void SetActive(bool active);
    bool Bordered() const { return bordered_; }
    void SetBordered(bool bordered);

    // The colour a user sees now.
    QColor ShownColor() const { return active_ ? activeColor_ : inactiveColor_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor activeColor_;
    QColor inactiveColor_;
    bool active_ = false;
    bool bordered_ = false;
};
