// Thread requests and window messages. Placeholder bodies: the thread frame
// replaces this file; the request rule is already the one the window relies on.

#include "forms/mainform.h"

#include <QCoreApplication>
#include <QEvent>

void TMainForm::RequestDiscovery(std::uint16_t mode, bool useSettings) {
    if (InitThreadRunning || !InitRequestAllowed)
        return;
    InitRequestAllowed = false;
    Q_UNUSED(mode);
    Q_UNUSED(useSettings);
    QCoreApplication::postEvent(this,
                                new QEvent(static_cast<QEvent::Type>(kDiscoveryRequestEvent)));
}

void TMainForm::StartThread() {}

void TMainForm::StopThread() {}

bool TMainForm::event(QEvent *event) {
    if (event->type() == kDiscoveryRequestEvent || event->type() == kMeasurementStartEvent)
        return true;
    return QWidget::event(event);
}
