#include "device/kova8api.h"
#include "device/kovaapi.h"

/* Sizes seen from C, checked by the unit tests against the C++ view. */
unsigned KovaCSizeOfDescriptor(void) { return (unsigned)sizeof(Kova8Descriptor); }
unsigned KovaCSizeOfCrateConnection(void) { return (unsigned)sizeof(KovaCrateConnection); }
unsigned KovaCOffsetOfRate(void) { return (unsigned)offsetof(Kova8Descriptor, ChannelRate); }
