// Thread requests and window messages: the window starts a worker only from
// the handler of a message it posted to itself, waits for the thread to
// announce itself while events keep running, and stops the measurement
// thread by terminating it and waiting for its end callback.

#include "forms/mainform.h"

#include "forms/threadmessagedialog.h"
#include "forms/windowmessage.h"
#include "platform/dialogs.h"
#include "threads/initandconfigthread.h"
#include "threads/mainthread.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

namespace {

// The thread dialogs come up while the Escape handler is detached, so the
// key reaches the dialog and not the window's stop logic.
void PresentThreadMessage(QWidget *parent, const QString &caption, const QString &text) {
    auto *form = qobject_cast<TMainForm *>(parent);
    const bool attached = form ? form->ShortCutHandlerAttached : false;
    if (form)
        form->ShortCutHandlerAttached = false;
    const TButtonPlacement placement =
        caption == kInitThreadCaption ? TButtonPlacement::OwnWidth : TButtonPlacement::CommonWidth;
    ThreadMessageDialog(parent, caption, TMsgDlgType::Error, {QStringLiteral("Принято")}, text,
                        placement);
    if (form)
        form->ShortCutHandlerAttached = attached;
}

} // namespace

void TMainForm::RegisterThreadMessageDialog() {
    static const bool registered = [] {
        platform::SetThreadMessagePresenter(&PresentThreadMessage);
        return true;
    }();
    static_cast<void>(registered);
}

void TMainForm::RequestDiscovery(std::uint16_t mode, bool useSettings) {
    if (InitThreadRunning || !InitRequestAllowed)
        return;
    InitRequestAllowed = false;
    QCoreApplication::postEvent(
        this, new TWindowMessage(kDiscoveryRequestEvent, mode, useSettings ? 1 : 0));
}

void TMainForm::OnStartInitDevicesThread(const TWindowMessage &message) {
    // A request that was still queued when the window began to close starts
    // nothing; requests stay disallowed.
    if (WindowClosing)
        return;
    // A measurement worker that is still being stopped may still use the
    // module: the run waits for the thread to go (StopThread posts it again).
    if (CurrentMainThread) {
        DiscoveryDeferred = true;
        DeferredDiscoveryMode = static_cast<std::uint16_t>(message.WParam);
        DeferredDiscoveryUseSettings = message.LParam != 0;
        return;
    }
    RegisterThreadMessageDialog();
    InitThreadRunning = false;
    InitThreadStarted = false;
    auto *thread = TWorkerThread::CreateRunning<TInitAndConfigThread>(
        this, message.LParam != 0, static_cast<std::uint16_t>(message.WParam));
    if (!thread) {
        platform::ShowMessageBox(this,
                                 QStringLiteral("Не могу открыть поток 'InitAndConfigThread'!"),
                                 QStringLiteral("Ошибка OnStartInitDevicesThread()!"));
        return;
    }
    InitThreadAlive = true;
    thread->OnTerminate = [this](TWorkerThread *) {
        InitThreadRunning = false;
        InitThreadStarted = true;
        InitThreadAlive = false;
    };
    WaitPumpingEvents([this] { return InitThreadStarted.load(); });
    InitRequestAllowed = true;
}

void TMainForm::StartThread() {
    if (MainThreadRunning || !MainRequestAllowed || CurrentMainThread || WindowClosing)
        return;
    QWidget *active = MainLMDPageControl->currentWidget();
    const auto page = std::find(MeasurementPages.begin(), MeasurementPages.end(), active);
    if (!active || page == MeasurementPages.end()) {
        platform::ShowMessageBox(this, QStringLiteral("Неизвестный номер страницы приложения!"),
                                 QStringLiteral("Ошибка StartThread()!!!"),
                                 platform::MessageIcon::Information);
        return;
    }
    JobNumber = static_cast<std::uint16_t>(page - MeasurementPages.begin());
    if (*page != MultimeterLMDTabSheet)
        return;
    MainRequestAllowed = false;
    MainStartFailed = false;
    QCoreApplication::postEvent(this, new TWindowMessage(kMeasurementStartEvent, 0, 0));
    // Ends also when the start failed (the window then closes) or the window
    // began to close before the start message came.
    WaitPumpingEvents([this] { return MainRequestAllowed || MainStartFailed || WindowClosing; });
}

void TMainForm::OnStartMainThread(const TWindowMessage &) {
    if (WindowClosing) {
        MainRequestAllowed = true;
        return;
    }
    RegisterThreadMessageDialog();
    MainThreadRunning = false;
    MainThreadStarted = false;
    auto *thread = TWorkerThread::CreateRunning<TMainThread>(this, JobNumber);
    if (!thread) {
        MainStartFailed = true;
        platform::ShowMessageBox(this, QStringLiteral("Не могу открыть поток 'MainThread'!"),
                                 QStringLiteral("Ошибка OnStartMainThread()!"));
        close();
        return;
    }
    CurrentMainThread = thread;
    thread->OnTerminate = [this](TWorkerThread *) {
        MainThreadRunning = false;
        MainThreadStarted = true;
    };
    WaitPumpingEvents([this] { return MainThreadStarted; });
    MainRequestAllowed = true;
}

void TMainForm::StopThread() {
    if (!CurrentMainThread)
        return;
    // A start still in progress is left to finish, except when the window
    // closes: then the thread is stopped right away, so none outlives it.
    if (!MainRequestAllowed && !WindowClosing)
        return;
    // Called again from an event that the first call's waits run: the first
    // stop already does all a stop can do. Waiting here for the thread to go
    // would never end, since the first call can only go on once this one has
    // returned. What must wait for the thread is put off instead (a discovery
    // request, a close) and carried out by the first call at its end.
    if (MainThreadStopping)
        return;
    MainThreadStopping = true;
    TMainThread *thread = CurrentMainThread;
    WaitPumpingEvents([this] { return MainThreadStarted; });
    thread->Terminate();
    thread->WaitFor();
    WaitPumpingEvents([this] { return !MainThreadRunning; });
    delete thread;
    CurrentMainThread = nullptr;
    MainThreadStopping = false;
    RunDeferredRequests();
}

void TMainForm::RunDeferredRequests() {
    // Posted, not run here: the handler that stopped the thread is still on
    // the stack and holds the busy flag.
    if (DiscoveryDeferred) {
        DiscoveryDeferred = false;
        QCoreApplication::postEvent(this, new TWindowMessage(kDiscoveryRequestEvent,
                                                             DeferredDiscoveryMode,
                                                             DeferredDiscoveryUseSettings ? 1 : 0));
    }
    if (CloseDeferred) {
        CloseDeferred = false;
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
    }
}

bool TMainForm::event(QEvent *event) {
    const int type = event->type();
    if (type == kDiscoveryRequestEvent || type == kMeasurementStartEvent) {
        const auto *message = dynamic_cast<const TWindowMessage *>(event);
        const TWindowMessage plain(type, 0, 0);
        if (type == kDiscoveryRequestEvent)
            OnStartInitDevicesThread(message ? *message : plain);
        else
            OnStartMainThread(message ? *message : plain);
        return true;
    }
    return QWidget::event(event);
}
