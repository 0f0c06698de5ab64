#pragma once
// The discovery thread: one life is one discovery run. It announces itself
// to the window, runs its steps under a handler for every exception, always
// ends with FinishRun, and frees itself after its end callback.

#include "threads/workerthread.h"

#include <QString>

#include <atomic>
#include <cstdint>

class TMainForm;
class TIniFile;

class TInitAndConfigThread : public TWorkerThread {
    Q_OBJECT

public:
    TInitAndConfigThread(TMainForm *form, bool useSettings, std::uint16_t mode);
    ~TInitAndConfigThread() override;

    // Window's thread: shows ErrorText, but only for the run's first error.
    void ShowThreadMessage();

    bool UseSettings = false;
    std::uint16_t Mode = 0;
    QString PreselectedCrateSerial;
    std::int16_t PreselectedSlot = -1;
    QString ModuleName;
    // Written on the window's thread only; read by the worker between steps.
    std::atomic<bool> ErrorFlag = false;
    TIniFile *IniFile = nullptr;
    int SavedCursor = 0;
    QString ErrorText;
    std::int32_t MessageResult = 0;

protected:
    void Execute() override;
    // The run's steps between the announcement and FinishRun (on the worker).
    void RunSteps();
    // Window's thread: the last step of every run.
    void FinishRun();
    void ShowThreadMessageSynchronized();

    TMainForm *Form;
};

inline const QString kInitThreadCaption =
    QStringLiteral("Сообщение TInitAndConfigThread::Execute()!!!");
