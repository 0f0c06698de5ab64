#include "threads/initandconfigthread.h"

#include "forms/mainform.h"
#include "platform/dialogs.h"

TInitAndConfigThread::TInitAndConfigThread(TMainForm *form, bool useSettings, std::uint16_t mode)
    : UseSettings(useSettings), Mode(mode), Form(form) {
    FreeOnTerminate = true;
}

TInitAndConfigThread::~TInitAndConfigThread() {
    EndBody();
}

void TInitAndConfigThread::Execute() {
    try {
        // The window waits for this announcement before it takes new requests.
        Form->InitThreadRunning = true;
        Form->InitThreadStarted = true;
        Form->PopupMenuAutoPopup = false;
        ErrorFlag = false;
        Sleep(50);
        RunSteps();
    } catch (...) {
        ErrorText = QStringLiteral(
            "Опаньки!!! Поймали неустранимое исключение!!!\nСрочно сообщите разработчику!");
        ShowThreadMessageSynchronized();
        Synchronize([this] {
            Form->CrateOk = 0;
            Form->ModuleState = 0;
        });
    }
    Sleep(100);
    Synchronize([this] { FinishRun(); });
}

void TInitAndConfigThread::ShowThreadMessage() {
    if (ErrorFlag)
        return;
    ErrorFlag = true;
    platform::ShowThreadMessage(Form, kInitThreadCaption, ErrorText);
    MessageResult = 1;
}

void TInitAndConfigThread::ShowThreadMessageSynchronized() {
    Synchronize([this] { ShowThreadMessage(); });
}
