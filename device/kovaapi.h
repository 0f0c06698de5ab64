/* Crate library: lists the crates a crate server knows and the module identifiers in their slots.
 */
#ifndef KOVA_KOVAAPI_H
#define KOVA_KOVAAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef KOVA_SERVER_ADDRESS
#define KOVA_SERVER_ADDRESS 0x7F000001u /* 127.0.0.1, first octet most significant */
#define KOVA_SERVER_PORT 11111u
#endif
#define KOVA_MAX_CRATES 16
#define KOVA_MAX_SLOTS 16
#define KOVA_SERIAL_SIZE 16

#pragma pack(push, 4)
typedef struct KovaCrateConnection {
    uint32_t ServerAddress;             /* 0: IPv4 address, first octet most significant */
    uint16_t ServerPort;                /* 4 */
    char CrateSerial[KOVA_SERIAL_SIZE]; /* 6: NUL-terminated; empty = no particular crate */
    uint16_t ChannelSelector;           /* 22 */
    uint8_t LibraryData[12];            /* 24: owned by the library */
} KovaCrateConnection;
#pragma pack(pop)

/* Every status: 0 = success, anything else = failure. */
int32_t KOVA_Init(KovaCrateConnection *crate);
int32_t KOVA_Open(KovaCrateConnection *crate);
int32_t KOVA_Close(KovaCrateConnection *crate);
int32_t KOVA_GetCrates(KovaCrateConnection *crate, uint8_t *serials);    /* 16 x 16 bytes */
int32_t KOVA_GetCrateModules(KovaCrateConnection *crate, uint16_t *ids); /* 16 entries */

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(KovaCrateConnection) == 36);
static_assert(offsetof(KovaCrateConnection, ServerAddress) == 0);
static_assert(offsetof(KovaCrateConnection, ServerPort) == 4);
static_assert(offsetof(KovaCrateConnection, CrateSerial) == 6);
static_assert(offsetof(KovaCrateConnection, ChannelSelector) == 22);
static_assert(offsetof(KovaCrateConnection, LibraryData) == 24);
#else
#include <stddef.h>
_Static_assert(sizeof(KovaCrateConnection) == 36, "KovaCrateConnection size");
_Static_assert(offsetof(KovaCrateConnection, CrateSerial) == 6, "crate serial offset");
_Static_assert(offsetof(KovaCrateConnection, ChannelSelector) == 22, "selector offset");
#endif

#endif
