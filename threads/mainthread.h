#pragma once
// The measurement thread: runs one job of its job table against the open
// module, reports the run's first error in the thread message dialog, then
// idles until the window terminates it. The window owns and destroys it.

#include "threads/workerthread.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>

class TMainForm;

inline constexpr int kJobCount = 1;

class TMainThread : public TWorkerThread {
    Q_OBJECT

public:
    using TJobHandler = void (*)(void *context);
    struct TJobEntry {
        TJobHandler Handler = nullptr; // null: an empty entry
        void *Context = nullptr;
    };

    // form: the window whose state the synchronised steps use.
    TMainThread(TMainForm *form, std::uint16_t jobNumber);
    ~TMainThread() override;

    // Window's thread: shows ErrorText, but only for the run's first error.
    void ShowThreadMessage();

    // Written on the window's thread only; read by the worker between steps.
    std::atomic<bool> ErrorFlag = false;
    std::uint16_t JobNumber = 0;
    QString ErrorText;
    std::int32_t MessageResult = 0;
    std::array<TJobEntry, kJobCount> JobTable{};
    // Module range code per range index.
    std::array<std::int32_t, 8> RangeCodes{};

    static void MultimeterJob(void *context);

protected:
    void Execute() override;
    // Window's thread: announces the run to the window and fills the tables.
    void SyncThreadStart();
    // Fills JobTable; a test thread may register other jobs.
    virtual void RegisterJobs();

    TMainForm *Form;

private:
    void RunJob();
    void ShowThreadMessageSynchronized();
};

inline const QString kMainThreadCaption = QStringLiteral("Сообщение TMainThread::Execute()!!!");
