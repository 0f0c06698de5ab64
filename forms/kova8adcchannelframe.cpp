#include "forms/kova8adcchannelframe.h"

#include "platform/colors.h"

#include <QCursor>
#include <QEvent>

TKova8AdcChannelFrame::TKova8AdcChannelFrame(QWidget *owner, int rangeCount,
                                             const QString *rangeCaptions,
                                             std::uint16_t channelIndex)
    : QFrame(owner) {
    setupUi(this);
    setVisible(false);
    ChannelIndex = channelIndex;
    ChannelNumberLMDCheckBox->setText(QStringLiteral("Канал ") + QString::number(ChannelIndex + 1));

    InputRangeLMDComboBox->clear();
    for (int k = 0; k < rangeCount; ++k)
        InputRangeLMDComboBox->addItem(QStringLiteral(" ") + rangeCaptions[k]);
    InputRangeLMDComboBox->setMaxVisibleItems(std::max(rangeCount, 1));

    // Black box, lime digits, a selection shown green on white.
    QPalette pal = ValueLMDEdit->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, platform::ColorFromWin(platform::clLime));
    pal.setColor(QPalette::Highlight, Qt::white);
    pal.setColor(QPalette::HighlightedText, platform::ColorFromWin(platform::clGreen));
    pal.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 platform::ColorFromWin(platform::clGreen));
    ValueLMDEdit->setPalette(pal);
    ValueLMDEdit->setAttribute(Qt::WA_Hover);
    ValueLMDEdit->installEventFilter(this);
    connect(ValueLMDEdit, &QLineEdit::textChanged, this, [this] { ValueLMDEditChange(); });

    FlashLed->SetBordered(false);
    SetLampState(LampState::Off);
    FlashLed->SetActive(false);
    ApplicationActive = false;
}

void TKova8AdcChannelFrame::EnableChannelControls() {
    for (QWidget *w :
         {static_cast<QWidget *>(InputRangeLabLMDLabel),
          static_cast<QWidget *>(InputRangeLMDComboBox), static_cast<QWidget *>(ValueLabLMDLabel),
          static_cast<QWidget *>(ValueLMDEdit), static_cast<QWidget *>(FlashLed)})
        w->setEnabled(true);
}

void TKova8AdcChannelFrame::DisableChannelControls() {
    for (QWidget *w :
         {static_cast<QWidget *>(InputRangeLabLMDLabel),
          static_cast<QWidget *>(InputRangeLMDComboBox), static_cast<QWidget *>(ValueLabLMDLabel),
          static_cast<QWidget *>(ValueLMDEdit), static_cast<QWidget *>(FlashLed)})
        w->setEnabled(false);
}

namespace {
void DisableTree(QWidget *container) {
    for (QObject *child : container->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w)
            continue;
        DisableTree(w);
        w->setEnabled(false);
    }
}
} // namespace

void TKova8AdcChannelFrame::DisablePanel() {
    Kova8AdcChannelLMDSimplePanel->setEnabled(false);
    DisableTree(Kova8AdcChannelLMDSimplePanel);
}

void TKova8AdcChannelFrame::SetLampState(LampState state) {
    if (state == LampState::Green) {
        FlashLed->SetActiveColor(platform::ColorFromWin(platform::clRed));
        FlashLed->SetInactiveColor(platform::ColorFromWin(platform::clGreen));
    } else {
        FlashLed->SetActiveColor(platform::ButtonFaceColor());
        FlashLed->SetInactiveColor(platform::ButtonFaceColor());
    }
    FlashLed->SetActive(false);
}

QColor TKova8AdcChannelFrame::ValueFontColor() const {
    return ValueLMDEdit->palette().color(QPalette::Text);
}

void TKova8AdcChannelFrame::SetValueFontColor(const QColor &color) {
    QPalette pal = ValueLMDEdit->palette();
    pal.setColor(QPalette::Text, color);
    ValueLMDEdit->setPalette(pal);
}

void TKova8AdcChannelFrame::ValueLMDEditChange() {
    if (ApplicationActive && ValueLMDEdit->underMouse())
        ValueLMDEdit->selectAll();
}

void TKova8AdcChannelFrame::ValueLMDEditMouseEnter() {
    if (ApplicationActive && !ValueLMDEdit->text().contains(QStringLiteral("--")))
        ValueLMDEdit->selectAll();
}

void TKova8AdcChannelFrame::ValueLMDEditMouseExit() {
    if (ApplicationActive)
        ValueLMDEdit->deselect();
}

bool TKova8AdcChannelFrame::eventFilter(QObject *watched, QEvent *event) {
    if (watched == ValueLMDEdit) {
        switch (event->type()) {
        case QEvent::Enter:
            if (ValueFocusFollowsPointer && ValueLMDEdit->isEnabled())
                ValueLMDEdit->setFocus(Qt::MouseFocusReason);
            ValueLMDEditMouseEnter();
            break;
        case QEvent::Leave:
            ValueLMDEditMouseExit();
            break;
        case QEvent::FocusOut:
            // The selection only shows while the box has the focus.
            if (!ValueLMDEdit->underMouse())
                ValueLMDEdit->deselect();
            break;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}
