#pragma once
// One ADC channel's row on the multimeter page: enable box, range list, the
// value in millivolts and the update lamp. What the controls do belongs to the
// main window and the measurement job; the panel only builds itself and makes
// its value easy to copy by selecting it under the pointer.

#include "ui_kova8adcchannelframe.h"

#include <QFrame>
#include <QString>

#include <cstdint>

class TKova8AdcChannelFrame : public QFrame, public Ui::TKova8AdcChannelFrame {
    Q_OBJECT

public:
    enum class LampState { Off, Green };

    // Titles the panel "Канал <index+1>" and fills its range list with the
    // first rangeCount captions, each after one blank.
    TKova8AdcChannelFrame(QWidget *owner, int rangeCount, const QString *rangeCaptions,
                          std::uint16_t channelIndex);

    // The range label, range list, value label, value box and lamp; the check
    // box stays as it is.
    void EnableChannelControls();
    void DisableChannelControls();
    // The inner panel and everything in it, the check box included.
    void DisablePanel();
    void SetLampState(LampState state);

    // The value box's font colour, which the window and the job recolour.
    QColor ValueFontColor() const;
    void SetValueFontColor(const QColor &color);

    // Value box handlers (select-on-hover while the program is active).
    void ValueLMDEditChange();
    void ValueLMDEditMouseEnter();
    void ValueLMDEditMouseExit();

    std::uint16_t ChannelIndex = 0;
    // Set while the program is the active application.
    bool ApplicationActive = false;
    // The value box takes the focus when the pointer enters it; switched with
    // the application's activation.
    bool ValueFocusFollowsPointer = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
