#include "device/kovadevice.h"

std::int32_t TKovaApiDevice::KOVA_Init(KovaCrateConnection *crate) {
    return ::KOVA_Init(crate);
}
std::int32_t TKovaApiDevice::KOVA_Open(KovaCrateConnection *crate) {
    return ::KOVA_Open(crate);
}
std::int32_t TKovaApiDevice::KOVA_Close(KovaCrateConnection *crate) {
    return ::KOVA_Close(crate);
}
std::int32_t TKovaApiDevice::KOVA_GetCrates(KovaCrateConnection *crate, std::uint8_t *serials) {
    return ::KOVA_GetCrates(crate, serials);
}
std::int32_t TKovaApiDevice::KOVA_GetCrateModules(KovaCrateConnection *crate, std::uint16_t *ids) {
    return ::KOVA_GetCrateModules(crate, ids);
}
std::int32_t TKovaApiDevice::KOVA8_Init(Kova8Descriptor *module) {
    return ::KOVA8_Init(module);
}
std::int32_t TKovaApiDevice::KOVA8_Open(Kova8Descriptor *module, std::uint32_t serverAddress,
                                        std::uint16_t serverPort, const char *crateSerial,
                                        std::int32_t slot, const char *firmwareFile) {
    return ::KOVA8_Open(module, serverAddress, serverPort, crateSerial, slot, firmwareFile);
}
std::int32_t TKovaApiDevice::KOVA8_IsOpened(Kova8Descriptor *module) {
    return ::KOVA8_IsOpened(module);
}
std::int32_t TKovaApiDevice::KOVA8_Close(Kova8Descriptor *module) {
    return ::KOVA8_Close(module);
}
std::uint32_t TKovaApiDevice::KOVA8_CreateLChannel2(std::uint32_t channel, std::uint32_t rangeCode,
                                                    std::uint32_t flags) {
    return ::KOVA8_CreateLChannel2(channel, rangeCode, flags);
}
std::int32_t TKovaApiDevice::KOVA8_SetADC(Kova8Descriptor *module) {
    return ::KOVA8_SetADC(module);
}
std::int32_t TKovaApiDevice::KOVA8_Start(Kova8Descriptor *module) {
    return ::KOVA8_Start(module);
}
std::int32_t TKovaApiDevice::KOVA8_Stop(Kova8Descriptor *module) {
    return ::KOVA8_Stop(module);
}
std::int32_t TKovaApiDevice::KOVA8_Recv(Kova8Descriptor *module, std::uint32_t *data,
                                        std::uint32_t *timeMarks, std::uint32_t words,
                                        std::uint32_t timeoutMs) {
    return ::KOVA8_Recv(module, data, timeMarks, words, timeoutMs);
}
std::int32_t TKovaApiDevice::KOVA8_ProcessData(Kova8Descriptor *module, const std::uint32_t *raw,
                                               double *values, std::int32_t *count,
                                               std::int32_t volts) {
    return ::KOVA8_ProcessData(module, raw, values, count, volts);
}
std::int32_t TKovaApiDevice::KOVA8_ReadEeprom(Kova8Descriptor *module, std::uint16_t address,
                                              std::uint8_t *buffer, std::uint16_t length) {
    return ::KOVA8_ReadEeprom(module, address, buffer, length);
}
