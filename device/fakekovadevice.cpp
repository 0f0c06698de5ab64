#include "device/fakekovadevice.h"

#include "device/kova8format.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

void CopyText(char *to, std::size_t size, const std::string &text) {
    std::memset(to, 0, size);
    std::memcpy(to, text.data(), std::min(text.size(), size - 1));
}

std::string SerialOf(const char *text, std::size_t size) {
    return std::string(text, strnlen(text, size));
}

} // namespace

TFakeKovaDevice &TFakeKovaDevice::ScriptOneModule() {
    TFakeCrate crate;
    crate.Serial = "2T000001";
    TFakeModule module;
    module.Slot = 3;
    module.Serial = "8K000123";
    crate.Modules.push_back(module);
    Crates = {crate};
    return *this;
}

void TFakeKovaDevice::Log(const char *name) {
    {
        std::lock_guard lock(Mutex);
        CallLog.emplace_back(name);
    }
    if (OnCall)
        OnCall(name);
}

std::vector<std::string> TFakeKovaDevice::Calls() const {
    std::lock_guard lock(Mutex);
    return CallLog;
}

int TFakeKovaDevice::CallCount(const std::string &name) const {
    std::lock_guard lock(Mutex);
    return static_cast<int>(std::count(CallLog.begin(), CallLog.end(), name));
}

void TFakeKovaDevice::HoldRecv() {
    std::lock_guard lock(holdMutex_);
    recvHeld_ = true;
}

void TFakeKovaDevice::ReleaseRecv() {
    {
        std::lock_guard lock(holdMutex_);
        recvHeld_ = false;
    }
    holdSignal_.notify_all();
}

void TFakeKovaDevice::NoteModuleChange() {
    if (recvsUnderWay_.load() > 0)
        ++changesDuringRecv_;
}

void TFakeKovaDevice::ClearCalls() {
    std::lock_guard lock(Mutex);
    CallLog.clear();
}

const TFakeCrate *TFakeKovaDevice::FindCrate(const char *serial) const {
    for (const auto &c : Crates)
        if (c.Serial == serial)
            return &c;
    return nullptr;
}

TFakeModule *TFakeKovaDevice::ModuleOf(const Session &s) {
    if (s.Crate >= Crates.size() || s.Module >= Crates[s.Crate].Modules.size())
        return nullptr;
    return &Crates[s.Crate].Modules[s.Module];
}

const TFakeModule *TFakeKovaDevice::OpenModule(const Kova8Descriptor *module) const {
    std::lock_guard lock(Mutex);
    auto it = Sessions.find(module);
    if (it == Sessions.end())
        return nullptr;
    const Session &s = it->second;
    if (s.Crate >= Crates.size() || s.Module >= Crates[s.Crate].Modules.size())
        return nullptr;
    return &Crates[s.Crate].Modules[s.Module];
}

bool TFakeKovaDevice::Running(const Kova8Descriptor *module) const {
    std::lock_guard lock(Mutex);
    auto it = Sessions.find(module);
    return it != Sessions.end() && it->second.Running;
}

std::int32_t TFakeKovaDevice::KOVA_Init(KovaCrateConnection *crate) {
    Log("KOVA_Init");
    std::memset(crate, 0, sizeof *crate);
    crate->ServerAddress = KOVA_SERVER_ADDRESS;
    crate->ServerPort = KOVA_SERVER_PORT;
    std::lock_guard lock(Mutex);
    Links.erase(crate);
    return 0;
}

std::int32_t TFakeKovaDevice::KOVA_Open(KovaCrateConnection *crate) {
    Log("KOVA_Open");
    const std::string serial = SerialOf(crate->CrateSerial, sizeof crate->CrateSerial);
    CrateLink link;
    if (serial.empty()) {
        if (RefuseListOpen)
            return 1;
        link.Listing = true;
    } else {
        const TFakeCrate *c = FindCrate(serial.c_str());
        if (!c || c->RefuseOpen)
            return 1;
        link.Crate = static_cast<std::size_t>(c - Crates.data());
    }
    link.Open = true;
    std::lock_guard lock(Mutex);
    Links[crate] = link;
    return 0;
}

std::int32_t TFakeKovaDevice::KOVA_Close(KovaCrateConnection *crate) {
    Log("KOVA_Close");
    std::lock_guard lock(Mutex);
    return Links.erase(crate) ? 0 : 1;
}

std::int32_t TFakeKovaDevice::KOVA_GetCrates(KovaCrateConnection *crate, std::uint8_t *serials) {
    Log("KOVA_GetCrates");
    {
        std::lock_guard lock(Mutex);
        if (!Links.count(crate))
            return 1;
    }
    if (RefuseCrateList)
        return 1;
    std::memset(serials, 0, KOVA_MAX_CRATES * KOVA_SERIAL_SIZE);
    for (std::size_t i = 0; i < Crates.size() && i < KOVA_MAX_CRATES; ++i)
        CopyText(reinterpret_cast<char *>(serials + i * KOVA_SERIAL_SIZE), KOVA_SERIAL_SIZE,
                 Crates[i].Serial);
    return 0;
}

std::int32_t TFakeKovaDevice::KOVA_GetCrateModules(KovaCrateConnection *crate, std::uint16_t *ids) {
    Log("KOVA_GetCrateModules");
    CrateLink link;
    {
        std::lock_guard lock(Mutex);
        auto it = Links.find(crate);
        if (it == Links.end() || it->second.Listing)
            return 1;
        link = it->second;
    }
    const TFakeCrate &c = Crates.at(link.Crate);
    if (c.RefuseModuleQuery)
        return 1;
    std::fill(ids, ids + KOVA_MAX_SLOTS, std::uint16_t{0});
    for (const auto &m : c.Modules)
        if (m.Slot >= 1 && m.Slot <= KOVA_MAX_SLOTS)
            ids[m.Slot - 1] = m.Id;
    return 0;
}

std::int32_t TFakeKovaDevice::KOVA8_Init(Kova8Descriptor *module) {
    Log("KOVA8_Init");
    NoteModuleChange();
    std::memset(module, 0, sizeof *module);
    module->RecordSize = KOVA8_DESCRIPTOR_SIZE;
    std::lock_guard lock(Mutex);
    Sessions.erase(module);
    return 0;
}

std::int32_t TFakeKovaDevice::KOVA8_Open(Kova8Descriptor *module, std::uint32_t, std::uint16_t,
                                         const char *crateSerial, std::int32_t slot,
                                         const char *firmwareFile) {
    Log("KOVA8_Open");
    NoteModuleChange();
    LastOpenSerial = crateSerial ? crateSerial : "";
    LastOpenSlot = slot;
    LastOpenFirmware = firmwareFile ? firmwareFile : "";
    if (CheckFirmwareFile && (!firmwareFile || !std::filesystem::exists(firmwareFile)))
        return 1;
    {
        std::lock_guard lock(Mutex);
        if (Sessions.count(module))
            return 1;
    }
    const TFakeCrate *c = crateSerial ? FindCrate(crateSerial) : nullptr;
    if (!c)
        return 1;
    for (std::size_t m = 0; m < c->Modules.size(); ++m) {
        TFakeModule &fm = Crates[static_cast<std::size_t>(c - Crates.data())].Modules[m];
        if (fm.Slot != slot)
            continue;
        if (fm.Id != KOVA8_MODULE_ID || fm.RefuseOpen ||
            (fm.OpensBeforeRefusal >= 0 && fm.Opens >= fm.OpensBeforeRefusal))
            return 1;
        ++fm.Opens;
        Session s;
        s.Crate = static_cast<std::size_t>(c - Crates.data());
        s.Module = m;
        CopyText(module->ModuleName, sizeof module->ModuleName, fm.Name);
        module->Variant = fm.Variant;
        CopyText(module->SerialNumber, sizeof module->SerialNumber, fm.Serial);
        CopyText(module->FirmwareVersion, sizeof module->FirmwareVersion, fm.FirmwareVersion);
        std::lock_guard lock(Mutex);
        Sessions[module] = s;
        return 0;
    }
    return 1;
}

std::int32_t TFakeKovaDevice::KOVA8_IsOpened(Kova8Descriptor *module) {
    Log("KOVA8_IsOpened");
    std::lock_guard lock(Mutex);
    return Sessions.count(module) ? 0 : 1;
}

std::int32_t TFakeKovaDevice::KOVA8_Close(Kova8Descriptor *module) {
    Log("KOVA8_Close");
    NoteModuleChange();
    std::lock_guard lock(Mutex);
    return Sessions.erase(module) ? 0 : 1;
}

std::uint32_t TFakeKovaDevice::KOVA8_CreateLChannel2(std::uint32_t channel, std::uint32_t rangeCode,
                                                     std::uint32_t flags) {
    Log("KOVA8_CreateLChannel2");
    return kova8::MakeLChannel(channel, rangeCode, flags);
}

std::int32_t TFakeKovaDevice::KOVA8_SetADC(Kova8Descriptor *module) {
    Log("KOVA8_SetADC");
    std::lock_guard lock(Mutex);
    auto it = Sessions.find(module);
    if (it == Sessions.end() || it->second.Running)
        return 1;
    TFakeModule *fm = ModuleOf(it->second);
    if (!fm || fm->RefuseSetAdc)
        return 1;
    if (kova8::CheckAdcConfig(*module, fm->Variant) != kova8::kAdcOk)
        return 1;
    Session &s = it->second;
    s.ChannelCount = module->LChannelCount;
    std::copy(module->LChannels, module->LChannels + 8, s.Channels);
    s.Configured = true;
    module->ChannelRate = fm->SampleRateHz;
    return 0;
}

std::int32_t TFakeKovaDevice::KOVA8_Start(Kova8Descriptor *module) {
    Log("KOVA8_Start");
    std::lock_guard lock(Mutex);
    auto it = Sessions.find(module);
    if (it == Sessions.end() || !it->second.Configured || it->second.Running)
        return 1;
    TFakeModule *fm = ModuleOf(it->second);
    if (!fm || fm->RefuseStart)
        return 1;
    it->second.Running = true;
    it->second.RunWords = 0;
    return 0;
}

std::int32_t TFakeKovaDevice::KOVA8_Stop(Kova8Descriptor *module) {
    Log("KOVA8_Stop");
    std::lock_guard lock(Mutex);
    auto it = Sessions.find(module);
    if (it == Sessions.end())
        return 1;
    TFakeModule *fm = ModuleOf(it->second);
    it->second.Running = false;
    return (!fm || fm->RefuseStop) ? 1 : 0;
}

std::int32_t TFakeKovaDevice::KOVA8_Recv(Kova8Descriptor *module, std::uint32_t *data,
                                         std::uint32_t *timeMarks, std::uint32_t words,
                                         std::uint32_t timeoutMs) {
    Log("KOVA8_Recv");
    LastRecvWords = words;
    LastRecvTimeout = timeoutMs;
    if (RecvDelayMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(RecvDelayMs));
    ++recvsUnderWay_;
    struct UnderWay {
        std::atomic<int> &count;
        ~UnderWay() { --count; }
    } underWay{recvsUnderWay_};
    {
        std::unique_lock hold(holdMutex_);
        const auto limit =
            std::chrono::milliseconds(RecvHoldTimeoutMs ? RecvHoldTimeoutMs : timeoutMs);
        if (!holdSignal_.wait_for(hold, limit, [this] { return !recvHeld_; }))
            return 0;
    }
    std::lock_guard lock(Mutex);
    auto it = Sessions.find(module);
    if (it == Sessions.end() || !it->second.Running)
        return -1;
    Session &s = it->second;
    TFakeModule *fm = ModuleOf(s);
    if (!fm)
        return -1;
    if (fm->DropAfterWords >= 0 && s.RunWords >= fm->DropAfterWords)
        return -1;
    std::uint32_t n = 0;
    while (n < words) {
        if (fm->StallAfterWords >= 0 && s.RunWords >= fm->StallAfterWords)
            break;
        if (fm->DropAfterWords >= 0 && s.RunWords >= fm->DropAfterWords)
            break;
        // Word position inside the frame decides which channel and which half of the pair.
        const std::uint32_t frameWords = 2 * s.ChannelCount;
        const std::uint32_t pos = static_cast<std::uint32_t>(s.RunWords % frameWords);
        const std::uint32_t lc = s.Channels[pos / 2];
        const int ch = kova8::LChannelIndex(lc);
        const int range = kova8::LChannelRange(lc);
        const double mv = fm->Signal ? fm->Signal(ch, s.Samples) : fm->InputMv[ch];
        const std::uint32_t header = kova8::SampleHeader(ch, range);
        std::uint32_t word =
            (pos % 2 == 0) ? header : kova8::SampleCodeWord(header, kova8::CodeFromMv(range, mv));
        if (fm->CorruptAfterWords >= 0 && s.RunWords >= fm->CorruptAfterWords)
            word = 0xFFFFFFFFu;
        data[n] = word;
        if (timeMarks)
            timeMarks[n] = static_cast<std::uint32_t>(s.Samples);
        ++n;
        ++s.RunWords;
        if (pos + 1 == frameWords)
            ++s.Samples;
    }
    return static_cast<std::int32_t>(n);
}

std::int32_t TFakeKovaDevice::KOVA8_ProcessData(Kova8Descriptor *, const std::uint32_t *raw,
                                                double *values, std::int32_t *count,
                                                std::int32_t volts) {
    Log("KOVA8_ProcessData");
    if (!raw || !values || !count)
        return 1;
    if (FailProcessData) {
        *count = 0;
        return 1;
    }
    int written = 0;
    const int n = kova8::DecodeSamples(raw, *count, values, volts != 0, &written);
    *count = written;
    return n < 0 ? 1 : 0;
}

std::int32_t TFakeKovaDevice::KOVA8_ReadEeprom(Kova8Descriptor *module, std::uint16_t address,
                                               std::uint8_t *buffer, std::uint16_t length) {
    Log("KOVA8_ReadEeprom");
    LastEepromAddress = address;
    LastEepromLength = length;
    std::lock_guard lock(Mutex);
    auto it = Sessions.find(module);
    if (it == Sessions.end() || !buffer)
        return 1;
    TFakeModule *fm = ModuleOf(it->second);
    if (!fm || fm->EepromFail || std::uint32_t{address} + length > kova8::kEepromSize)
        return 1;
    const auto image = fm->UseDefaultEeprom ? kova8::DefaultEeprom(fm->Serial) : fm->Eeprom;
    std::memcpy(buffer, image.data() + address, length);
    return 0;
}
