// The one way the window and the threads reach the crate and the module: the C API's
// operations as virtual methods, so tests can put an in-process fake in place of the libraries.
#pragma once

#include "device/kova8api.h"
#include "device/kovaapi.h"

#include <cstdint>

class TKovaDevice {
public:
    virtual ~TKovaDevice() = default;

    virtual std::int32_t KOVA_Init(KovaCrateConnection *crate) = 0;
    virtual std::int32_t KOVA_Open(KovaCrateConnection *crate) = 0;
    virtual std::int32_t KOVA_Close(KovaCrateConnection *crate) = 0;
    virtual std::int32_t KOVA_GetCrates(KovaCrateConnection *crate, std::uint8_t *serials) = 0;
    virtual std::int32_t KOVA_GetCrateModules(KovaCrateConnection *crate, std::uint16_t *ids) = 0;

    virtual std::int32_t KOVA8_Init(Kova8Descriptor *module) = 0;
    virtual std::int32_t KOVA8_Open(Kova8Descriptor *module, std::uint32_t serverAddress,
                                    std::uint16_t serverPort, const char *crateSerial,
                                    std::int32_t slot, const char *firmwareFile) = 0;
    virtual std::int32_t KOVA8_IsOpened(Kova8Descriptor *module) = 0;
    virtual std::int32_t KOVA8_Close(Kova8Descriptor *module) = 0;
    virtual std::uint32_t KOVA8_CreateLChannel2(std::uint32_t channel, std::uint32_t rangeCode,
                                                std::uint32_t flags) = 0;
    virtual std::int32_t KOVA8_SetADC(Kova8Descriptor *module) = 0;
    virtual std::int32_t KOVA8_Start(Kova8Descriptor *module) = 0;
    virtual std::int32_t KOVA8_Stop(Kova8Descriptor *module) = 0;
    virtual std::int32_t KOVA8_Recv(Kova8Descriptor *module, std::uint32_t *data,
                                    std::uint32_t *timeMarks, std::uint32_t words,
                                    std::uint32_t timeoutMs) = 0;
    virtual std::int32_t KOVA8_ProcessData(Kova8Descriptor *module, const std::uint32_t *raw,
                                           double *values, std::int32_t *count,
                                           std::int32_t volts) = 0;
    virtual std::int32_t KOVA8_ReadEeprom(Kova8Descriptor *module, std::uint16_t address,
                                          std::uint8_t *buffer, std::uint16_t length) = 0;
};

// The production device: forwards every call to the crate and module libraries.
class TKovaApiDevice : public TKovaDevice {
public:
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
};
