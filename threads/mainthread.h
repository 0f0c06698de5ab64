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

    // ---- multimeter job, first group: the run's buffers (allocated once per
    // run, freed by SyncMeasurementFinished) and the block's sizes.
    std::uint32_t *RcvBuffer = nullptr; // 2 * TotalSamples raw words
    double *Data = nullptr;             // TotalSamples volts, frames in logical order
    double *DataPerChannel = nullptr;   // SamplesPerChannel + 16
    double *Window = nullptr;           // SamplesPerChannel + 16 weights
    double Normaliser = 0.0;
    std::int32_t FrameChannels = 0;
    // Module range code per range index.
    std::array<std::int32_t, 8> RangeCodes{};

    QString ErrorText;
    std::int32_t MessageResult = 0;
    std::array<TJobEntry, kJobCount> JobTable{};

    // ---- multimeter job, second group.
    double AcquisitionTime = 0.0; // seconds
    std::uint32_t TotalSamples = 0;
    std::uint32_t ActiveChannels = 0;
    std::uint32_t SamplesPerChannel = 0;
    std::array<std::int16_t, 8> LogicalIndex{};
    std::array<double, 8> Values{};
    std::array<std::int32_t, 8> RangeIndexAtStart{};

    static void MultimeterJob(void *context);

    // Test seam: the given buffer allocation of the next runs fails
    // (1 RcvBuffer, 2 Data, 3 DataPerChannel, 4 Window; 0 none).
    static void FailAllocationForTesting(int buffer);

protected:
    void Execute() override;
    // Window's thread: announces the run to the window and fills the tables.
    void SyncThreadStart();
    // Fills JobTable; a test thread may register other jobs.
    virtual void RegisterJobs();

    TMainForm *Form;

    // The multimeter job's steps; "Sync" steps run on the window's thread.
    void RunMultimeter();
    void PrepareMeasurement();
    void SyncMeasurementStarted();
    void SyncConfigureAdc();
    bool AllocateBuffers();
    bool AcquireBlock();
    bool ConvertBlock();
    // False when the run was stopped or failed during the computation.
    bool ComputeValues();
    void SyncShowValues();
    void SyncShowLamps();
    void SyncMeasurementFinished();
    void EndMeasurement(bool reportStopFailure);
    void FreeBuffers();

private:
    void RunJob();
    void ShowThreadMessageSynchronized();
    // Sets ErrorText and shows it (through Synchronize on the worker).
    void Report(const QString &text);
};

inline const QString kMainThreadCaption = QStringLiteral("Сообщение TMainThread::Execute()!!!");
