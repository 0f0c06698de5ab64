#include "device/kova8api.h"
#include "device/kova8format.h"
#include <cstring>
extern "C" {
int32_t KOVA8_Init(Kova8Descriptor *module) {
    if (!module)
        return 1;
    std::memset(module, 0, sizeof *module);
    return 0;
}
int32_t KOVA8_Open(Kova8Descriptor *, uint32_t, uint16_t, const char *, int32_t, const char *) {
    return 1;
}
int32_t KOVA8_IsOpened(Kova8Descriptor *) {
    return 1;
}
int32_t KOVA8_Close(Kova8Descriptor *) {
    return 1;
}
uint32_t KOVA8_CreateLChannel2(uint32_t channel, uint32_t rangeCode, uint32_t flags) {
    return kova8::MakeLChannel(channel, rangeCode, flags);
}
int32_t KOVA8_SetADC(Kova8Descriptor *) {
    return 1;
}
int32_t KOVA8_Start(Kova8Descriptor *) {
    return 1;
}
int32_t KOVA8_Stop(Kova8Descriptor *) {
    return 1;
}
int32_t KOVA8_Recv(Kova8Descriptor *, uint32_t *, uint32_t *, uint32_t, uint32_t) {
    return -1;
}
int32_t KOVA8_ProcessData(Kova8Descriptor *, const uint32_t *raw, double *values, int32_t *count,
                          int32_t volts) {
    if (!raw || !values || !count)
        return 1;
    int written = 0;
    const int n = kova8::DecodeSamples(raw, *count, values, volts != 0, &written);
    *count = written;
    return n < 0 ? 1 : 0;
}
int32_t KOVA8_ReadEeprom(Kova8Descriptor *, uint16_t, uint8_t *, uint16_t) {
    return 1;
}
}
