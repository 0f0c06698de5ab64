#include "threads/mainthread.h"

#include "forms/mainform.h"
#include "measurement/rangetable.h"
#include "platform/decimal.h"
#include "platform/dialogs.h"

TMainThread::TMainThread(TMainForm *form, std::uint16_t jobNumber)
    : JobNumber(jobNumber), Form(form) {
    FreeOnTerminate = false;
}

TMainThread::~TMainThread() {
    FreeBuffers();
}

void TMainThread::Execute() {
    Synchronize([this] { SyncThreadStart(); });
    if (!ErrorFlag) {
        try {
            RunJob();
        } catch (const platform::EConvertError &) {
            ErrorText =
                QStringLiteral("Ошибка преобразования строки в число!!!\nТекущий сепаратор '") +
                QChar::fromLatin1(platform::DecimalSeparator()) + QStringLiteral("'.");
            ShowThreadMessageSynchronized();
            platform::SetDecimalSeparator('.');
        } catch (...) {
            ErrorText = QStringLiteral("Опаньки!!!\nПоймали неустранимое исключение в потоке "
                                       "'MainThread'!!!\nСрочно сообщите разработчику!");
            ShowThreadMessageSynchronized();
        }
    }
    // A job that ended by itself leaves the thread idle until the window stops it.
    while (!Terminated())
        Sleep(50);
}

void TMainThread::RunJob() {
    if (JobNumber < JobTable.size() && JobTable[JobNumber].Handler) {
        const TJobEntry &job = JobTable[JobNumber];
        job.Handler(job.Context);
        return;
    }
    ErrorText = QStringLiteral("Опаньки!!!\nОтсутствует функция обработки для "
                               "'MainThread'!!!\nСрочно сообщите разработчику!");
    ShowThreadMessageSynchronized();
}

void TMainThread::SyncThreadStart() {
    Form->MainThreadRunning = true;
    Form->MainThreadStarted = true;
    platform::SetDecimalSeparator('.');
    ErrorFlag = false;
    if (Form->MainLMDPageControl->currentIndex() == 0)
        Form->MeasurementFinished = false;
    for (std::size_t i = 0; i < RangeCodes.size(); ++i)
        RangeCodes[i] = ModuleRangeCode(static_cast<int>(i));
    RegisterJobs();
}

void TMainThread::RegisterJobs() {
    JobTable[0] = {&TMainThread::MultimeterJob, this};
}

void TMainThread::ShowThreadMessage() {
    if (ErrorFlag)
        return;
    ErrorFlag = true;
    platform::ShowThreadMessage(Form, kMainThreadCaption, ErrorText);
    MessageResult = 1; // the single button's result; the dialog only closes by it
}

void TMainThread::ShowThreadMessageSynchronized() {
    Synchronize([this] { ShowThreadMessage(); });
}
