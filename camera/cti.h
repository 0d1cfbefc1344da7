/* The transport library's entry points (USB "kerrisu.dll", serial link "kerrissl.dll"). */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A transport library exports these names with default visibility. */
#define CTI_EXPORT __attribute__((visibility("default")))

/* One camera command: 24 bytes on the wire's own platform, native pointer width here. */
typedef struct CtiCommandRecord {
    uint8_t request; /* 0x00-0x08 carry data to the camera, 0x80 and above from it */
    uint8_t zero;
    uint8_t valueA;
    uint8_t valueB;
    uint8_t* data; /* null when length is 0 */
    uint32_t length;
    uint32_t reserved1;
    uint32_t marker; /* kCtiRecordMarker */
    uint32_t reserved2;
} CtiCommandRecord;

/* A started command (task); completed by writing the reply into the record's buffer. */
typedef void* CtiTask;

enum {
    kCtiRecordMarker = 0x42,
    kCtiTaskWaitTime = 50,      /* CtiTaskWaitComplete's wait argument */
    kCtiTaskNotFinished = 0x11, /* CtiTaskWaitComplete: the task has not finished */
    kCtiEchoTaskStarted = 0x41, /* CtiCommand: an older camera started the echo task */
    kCtiNone = 0x42,            /* finished / (serial link enumeration) no cameras */
    kCtiDataShortA = 0x1003,    /* data read results a block upload accepts */
    kCtiDataShortB = 0x1004,
    kCtiNoEntry = 0x3003 /* the transport lacks the entry point / has no camera */
};

CTI_EXPORT uint32_t CtiHandleOpen(uint32_t port, uint32_t selector, uint8_t* cameraNumber,
                                  uint32_t* handle);
CTI_EXPORT uint32_t CtiHandleClose(uint32_t handle);
CTI_EXPORT uint32_t CtiHandleLockThread(uint32_t handle, uint16_t timeout);
CTI_EXPORT uint32_t CtiHandleUnLock(uint32_t handle);
CTI_EXPORT uint32_t CtiCommand(uint32_t handle, CtiCommandRecord* record, CtiTask* task);
CTI_EXPORT uint32_t CtiTaskWaitComplete(CtiTask* task, uint32_t wait);
CTI_EXPORT uint32_t CtiTaskAbort(CtiTask* task);
CTI_EXPORT uint32_t CtiDataRead(uint32_t handle, uint8_t* buffer, uint32_t length,
                                uint32_t* delivered, uint32_t reserved);
CTI_EXPORT uint32_t CtiResetTransport(uint32_t handle);
CTI_EXPORT uint32_t CtiGetVersion(uint32_t handle, uint32_t* version);
CTI_EXPORT uint32_t CtiCameraEnum(uint32_t first, uint32_t second, uint8_t capacity,
                                  uint8_t* numbers, uint8_t* count);
CTI_EXPORT uint32_t CtiCameraNameGet(uint8_t number, uint32_t arg, char* buffer);
CTI_EXPORT uint32_t CtiCameraNameSet(uint8_t number, uint32_t arg, char* buffer);
CTI_EXPORT uint32_t CtiGetErrorText(uint32_t handle, uint32_t code, char* buffer, uint32_t size);

#ifdef __cplusplus
}
#endif
