/* Module library: opens a KOVA8 module through the crate server, configures and runs its ADC,
   receives and converts its sample words, reads its EEPROM. */
#ifndef KOVA_KOVA8API_H
#define KOVA_KOVA8API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef KOVA_SERVER_ADDRESS
#define KOVA_SERVER_ADDRESS 0x7F000001u /* 127.0.0.1, first octet most significant */
#define KOVA_SERVER_PORT 11111u
#endif
#define KOVA8_MODULE_ID 0xD4D4u
#define KOVA8_DESCRIPTOR_SIZE 1220u
#define KOVA8_MAX_CHANNELS 8
#define KOVA8_EEPROM_SIZE 1024u

#pragma pack(push, 4)
typedef struct Kova8Descriptor {
    uint32_t RecordSize;        /* 0: must be 1220 for KOVA8_SetADC */
    uint8_t LibraryData1[36];   /* 4: owned by the library */
    uint32_t AcquisitionMode;   /* 40 */
    uint32_t Switch1;           /* 44 */
    uint32_t Switch2;           /* 48 */
    uint32_t LChannelCount;     /* 52: number of logical channels */
    uint32_t LChannels[8];      /* 56: words from KOVA8_CreateLChannel2 */
    uint32_t ReferenceVoltage;  /* 88: 0 = 2.5 V, 1 = 5.0 V */
    uint32_t Reserved92;        /* 92 */
    double ChannelRate;         /* 96: sample rate per channel, Hz, filled by KOVA8_SetADC */
    uint8_t LibraryData2[1044]; /* 104: owned by the library */
    char ModuleName[15];        /* 1148 */
    uint8_t Variant;            /* 1163: 0 = fixed 5.0 V reference */
    char SerialNumber[24];      /* 1164 */
    char FirmwareVersion[32];   /* 1188 */
} Kova8Descriptor;
#pragma pack(pop)

/* Every status: 0 = success, anything else = failure. */
int32_t KOVA8_Init(Kova8Descriptor *module);
int32_t KOVA8_Open(Kova8Descriptor *module, uint32_t serverAddress, uint16_t serverPort,
                   const char *crateSerial, int32_t slot, const char *firmwareFile);
int32_t KOVA8_IsOpened(Kova8Descriptor *module); /* 0 = open */
int32_t KOVA8_Close(Kova8Descriptor *module);
/* channel 1-8, range code 0-7, flags 0; 0 for arguments out of range. */
uint32_t KOVA8_CreateLChannel2(uint32_t channel, uint32_t rangeCode, uint32_t flags);
int32_t KOVA8_SetADC(Kova8Descriptor *module);
int32_t KOVA8_Start(Kova8Descriptor *module);
int32_t KOVA8_Stop(Kova8Descriptor *module);
/* Words received (0 at the time-out with nothing), negative when broken or not running. */
int32_t KOVA8_Recv(Kova8Descriptor *module, uint32_t *data, uint32_t *timeMarks, uint32_t words,
                   uint32_t timeoutMs);
/* count: in words (two a sample), out values written. volts != 0: volts, 0: millivolts. */
int32_t KOVA8_ProcessData(Kova8Descriptor *module, const uint32_t *raw, double *values,
                          int32_t *count, int32_t volts);
int32_t KOVA8_ReadEeprom(Kova8Descriptor *module, uint16_t address, uint8_t *buffer,
                         uint16_t length);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(Kova8Descriptor) == 1220);
static_assert(offsetof(Kova8Descriptor, AcquisitionMode) == 40);
static_assert(offsetof(Kova8Descriptor, Switch1) == 44);
static_assert(offsetof(Kova8Descriptor, Switch2) == 48);
static_assert(offsetof(Kova8Descriptor, LChannelCount) == 52);
static_assert(offsetof(Kova8Descriptor, LChannels) == 56);
static_assert(offsetof(Kova8Descriptor, ReferenceVoltage) == 88);
static_assert(offsetof(Kova8Descriptor, Reserved92) == 92);
static_assert(offsetof(Kova8Descriptor, ChannelRate) == 96);
static_assert(offsetof(Kova8Descriptor, LibraryData2) == 104);
static_assert(offsetof(Kova8Descriptor, ModuleName) == 1148);
static_assert(offsetof(Kova8Descriptor, Variant) == 1163);
static_assert(offsetof(Kova8Descriptor, SerialNumber) == 1164);
static_assert(offsetof(Kova8Descriptor, FirmwareVersion) == 1188);
#else
#include <stddef.h>
_Static_assert(sizeof(Kova8Descriptor) == 1220, "Kova8Descriptor size");
_Static_assert(offsetof(Kova8Descriptor, ChannelRate) == 96, "rate offset");
_Static_assert(offsetof(Kova8Descriptor, Variant) == 1163, "variant offset");
_Static_assert(offsetof(Kova8Descriptor, SerialNumber) == 1164, "serial offset");
_Static_assert(offsetof(Kova8Descriptor, FirmwareVersion) == 1188, "firmware offset");
#endif

#endif
