#include "device/kovaapi.h"
#include <cstring>
extern "C" {
int32_t KOVA_Init(KovaCrateConnection *crate) {
    if (!crate)
        return 1;
    std::memset(crate, 0, sizeof *crate);
    crate->ServerAddress = KOVA_SERVER_ADDRESS;
    crate->ServerPort = KOVA_SERVER_PORT;
    return 0;
}
int32_t KOVA_Open(KovaCrateConnection *) {
    return 1;
}
int32_t KOVA_Close(KovaCrateConnection *) {
    return 1;
}
int32_t KOVA_GetCrates(KovaCrateConnection *, uint8_t *) {
    return 1;
}
int32_t KOVA_GetCrateModules(KovaCrateConnection *, uint16_t *) {
    return 1;
}
}
