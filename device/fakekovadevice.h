// In-process stand-in for the crate and module libraries: scripted crates, modules, EEPROM,
// sample streams and faults, and a log of every call, for thread and window tests.
#pragma once

#include "device/kovadevice.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct TFakeModule {
    int Slot = 1; // 1-16
    std::uint16_t Id = KOVA8_MODULE_ID;
    std::string Serial = "8K000001";
    std::uint8_t Variant = 0;
    std::string Name = "KOVA8";
    std::string FirmwareVersion = "1.07";
    double SampleRateHz = 1000.0;
    std::array<double, 8> InputMv{}; // DC input of each channel, clipped at the range limits
    // When set, replaces InputMv: millivolts of a channel (0-7) at a sample index of the run.
    std::function<double(int channel, std::uint64_t sample)> Signal;
    std::array<std::uint8_t, 1024> Eeprom{}; // filled from the serial by TFakeModule's users
    bool UseDefaultEeprom = true;            // Eeprom ignored, codes derived from Serial

    bool RefuseOpen = false;
    // Opens that succeed before every further one is refused (-1: no limit),
    // as a module that answers the scan and then fails to take its firmware.
    int OpensBeforeRefusal = -1;
    int Opens = 0; // successful opens so far
    bool RefuseSetAdc = false;
    bool RefuseStart = false;
    bool RefuseStop = false;
    bool EepromFail = false;
    // Words into a run after which the stream stalls (Recv returns what is left, then 0 at
    // once instead of waiting out the time-out), breaks (Recv negative) or carries
    // malformed words. -1 = never.
    long long StallAfterWords = -1;
    long long DropAfterWords = -1;
    long long CorruptAfterWords = -1;
};

struct TFakeCrate {
    std::string Serial = "2T000001";
    bool RefuseOpen = false;
    bool RefuseModuleQuery = false;
    std::vector<TFakeModule> Modules;
};

class TFakeKovaDevice : public TKovaDevice {
public:
    // Scripted world; change it between calls, not during one.
    std::vector<TFakeCrate> Crates;
    bool RefuseCrateList = false;   // KOVA_GetCrates fails
    bool RefuseListOpen = false;    // KOVA_Open without a crate serial fails
    bool FailProcessData = false;   // KOVA8_ProcessData fails whatever the words
    bool CheckFirmwareFile = false; // KOVA8_Open fails when the firmware file does not exist
    unsigned RecvDelayMs = 0;       // pause inside every KOVA8_Recv call
    // A stalling stream: while held, KOVA8_Recv waits until ReleaseRecv or its time-out
    // (RecvHoldTimeoutMs when non-zero, else the call's own). Released, it goes on as usual;
    // timed out, it returns 0, as a stream that delivered nothing.
    void HoldRecv();
    void ReleaseRecv();
    unsigned RecvHoldTimeoutMs = 0;
    // KOVA8_Recv calls under way now, and how many KOVA8_Close, KOVA8_Init or KOVA8_Open
    // calls came while one was under way (a module pulled away under its worker).
    int RecvsUnderWay() const { return recvsUnderWay_.load(); }
    int ModuleChangesDuringRecv() const { return changesDuringRecv_.load(); }
    // Runs at the start of every call with its name; a test may throw from it
    // to stand for a library that fails in a way no status reports.
    std::function<void(const std::string &call)> OnCall;

    // Replaces the world with one crate "2T000001" holding one KOVA8 (variant 0) in slot 3.
    TFakeKovaDevice &ScriptOneModule();

    // Call log: the function name of every call, in order ("KOVA8_Open", ...).
    std::vector<std::string> Calls() const;
    int CallCount(const std::string &name) const;
    void ClearCalls();
    // Arguments of the last KOVA8_Open, KOVA8_ReadEeprom and KOVA8_Recv calls.
    std::string LastOpenSerial;
    std::int32_t LastOpenSlot = 0;
    std::string LastOpenFirmware;
    std::uint16_t LastEepromAddress = 0;
    std::uint16_t LastEepromLength = 0;
    std::uint32_t LastRecvWords = 0;
    std::uint32_t LastRecvTimeout = 0;

    // The module a descriptor has open, or null.
    const TFakeModule *OpenModule(const Kova8Descriptor *module) const;
    bool Running(const Kova8Descriptor *module) const;

    std::int32_t KOVA_Init(KovaCrateConnection *crate) override;
    std::int32_t KOVA_Open(KovaCrateConnection *crate) override;
    std::int32_t KOVA_Close(KovaCrateConnection *crate) override;
    std::int32_t KOVA_GetCrates(KovaCrateConnection *crate, std::uint8_t *serials) override;
    std::int32_t KOVA_GetCrateModules(KovaCrateConnection *crate, std::uint16_t *ids) override;

    std::int32_t KOVA8_Init(Kova8Descriptor *module) override;
    std::int32_t KOVA8_Open(Kova8Descriptor *module, std::uint32_t serverAddress,
                            std::uint16_t serverPort, const char *crateSerial, std::int32_t slot,
                            const char *firmwareFile) override;
    std::int32_t KOVA8_IsOpened(Kova8Descriptor *module) override;
    std::int32_t KOVA8_Close(Kova8Descriptor *module) override;
    std::uint32_t KOVA8_CreateLChannel2(std::uint32_t channel, std::uint32_t rangeCode,
                                        std::uint32_t flags) override;
    std::int32_t KOVA8_SetADC(Kova8Descriptor *module) override;
    std::int32_t KOVA8_Start(Kova8Descriptor *module) override;
    std::int32_t KOVA8_Stop(Kova8Descriptor *module) override;
    std::int32_t KOVA8_Recv(Kova8Descriptor *module, std::uint32_t *data, std::uint32_t *timeMarks,
                            std::uint32_t words, std::uint32_t timeoutMs) override;
    std::int32_t KOVA8_ProcessData(Kova8Descriptor *module, const std::uint32_t *raw,
                                   double *values, std::int32_t *count,
                                   std::int32_t volts) override;
    std::int32_t KOVA8_ReadEeprom(Kova8Descriptor *module, std::uint16_t address,
                                  std::uint8_t *buffer, std::uint16_t length) override;

private:
    struct Session {
        std::size_t Crate = 0;
        std::size_t Module = 0;
        bool Configured = false;
        bool Running = false;
        std::uint32_t Channels[8]{};
        std::uint32_t ChannelCount = 0;
        long long RunWords = 0;
        std::uint64_t Samples = 0; // frames since the module was opened
    };
    struct CrateLink {
        bool Open = false;
        bool Listing = false;
        std::size_t Crate = 0;
    };

    void Log(const char *name);
    TFakeModule *ModuleOf(const Session &s);
    const TFakeCrate *FindCrate(const char *serial) const;

    void NoteModuleChange();

    std::mutex holdMutex_;
    std::condition_variable holdSignal_;
    bool recvHeld_ = false; // under holdMutex_
    std::atomic<int> recvsUnderWay_{0};
    std::atomic<int> changesDuringRecv_{0};

    mutable std::mutex Mutex;
    std::vector<std::string> CallLog;
    std::map<const Kova8Descriptor *, Session> Sessions;
    std::map<const KovaCrateConnection *, CrateLink> Links;
};
