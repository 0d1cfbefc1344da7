/* One logged call of a fake outside library, as its control API hands it to a test. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FAKE_EXPORT __attribute__((visibility("default")))

enum { kFakeCallNameSize = 32, kFakeCallDataSize = 320 };

typedef struct FakeCall {
    char name[kFakeCallNameSize]; /* entry point, e.g. "CtiCommand" */
    uint32_t args[6];             /* its scalar arguments, per entry point (see the fake) */
    uint32_t dataLength;          /* bytes of outgoing data kept in `data` */
    uint8_t data[kFakeCallDataSize];
    uint32_t result; /* what the call returned */
} FakeCall;

#ifdef __cplusplus
}
#endif
