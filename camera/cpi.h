/* The camera protocol interface: the exported Cpi functions, their status codes and records. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define CPI_NOEXCEPT noexcept
#define CPI_STATIC_ASSERT(cond, text) static_assert(cond, text)
#else
#define CPI_NOEXCEPT
#define CPI_STATIC_ASSERT(cond, text) _Static_assert(cond, text)
#endif

/* Every export carries default visibility; everything else in the library stays hidden. */
#define CPI_EXPORT __attribute__((visibility("default")))

/* ---- Status codes -------------------------------------------------------------------------
 * Every export except CpiCreateImage returns one of these, or a transport result passed
 * through unchanged (CpiGetErrorText turns any of them into text). */
enum {
    kCpiOk = 0,
    kCpiBadValue = 2,       /* value out of range, unknown transport id, name op load failure */
    kCpiBufferTooShort = 3, /* caller's buffer shorter than the data (CpiUploadImageFlags) */
    kCpiNullPointer = 5,    /* a required pointer argument is null */
    kCpiMoreBlocks = 6,     /* block upload: this block was read, more follow */
    kCpiOutOfMemory = 8,
    kCpiBadImage = 9,             /* CpiFreeImage: width, height or image size not positive */
    kCpiWrongSize = 10,           /* picture size does not match the camera's image */
    kCpiTaskIncomplete = 0x11,    /* the echo task did not complete and was aborted */
    kCpiBadConnection = 0x20,     /* null or not an open connection */
    kCpiTransportMissing = 0x30,  /* the transport library could not be loaded */
    kCpiEchoMismatch = 0x43,      /* the camera echoed a different value */
    kCpiNoCommandRecord = 0x3000, /* a command record could not be allocated */
    kCpiNoBlockUpload = 0x3002,   /* no block upload is in progress */
    kCpiNoTransport = 0x3003,     /* no active transport, missing entry point, unknown selector */
    kCpiColourFailed = 0x4000,    /* the colour library is missing or failed */
    /* Never returned by an operation: the code CpiGetErrorText answers itself, about how the
     * connection's colours were set up at open (see CpiGetErrorText). */
    kCpiColourDefaults = 0x4001
};

/* Transport selectors: bits 8-15 of CpiCameraOpen's selector and of camera ids. */
enum {
    kCpiSelectAny = 0x00, /* USB first, then the serial link */
    kCpiSelectSerial = 0x10,
    kCpiSelectUsb = 0x20
};

/* Camera ids: 0x2000 + n for USB cameras, 0x1000 + n for serial-link cameras. */
enum { kCpiSerialIdBase = 0x1000, kCpiUsbIdBase = 0x2000 };

/* Picture formats reported and set by the format exports. */
enum {
    kCpiFormatCif = 0,  /* 352 x 288 */
    kCpiFormatVga = 1,  /* 640 x 480 */
    kCpiFormatQcif = 2, /* 176 x 144 */
    kCpiFormatQvga = 3  /* 320 x 240 */
};

/* The interface version the library reports in CpiCameraInfo.interfaceVersions (low half). */
enum { kCpiInterfaceVersion = 0x0104 };

/* ---- Records (host byte order) ------------------------------------------------------------ */

/* An open camera; opaque to callers. Made by CpiCameraOpen, freed by CpiCameraClose. */
typedef struct CpiConnection CpiConnection;

/* Camera information, read from the camera once at open (command 0x85). */
typedef struct CpiCameraInfo {
    uint16_t capabilityBit2;
    uint16_t capabilityBit1;
    uint16_t sensorId;
    uint16_t capabilityBit0; /* the camera needs the settle wait */
    uint32_t cameraVersion;
    uint32_t interfaceVersions; /* high: transport version (low 16 bits), low: 0x0104 */
    uint16_t cameraWord1;
    uint16_t cameraWord2;
    uint32_t cameraLong;
    uint16_t cameraId;         /* the connection's camera id */
    uint32_t thumbnailsStored; /* the camera keeps thumbnails (command 0x84) */
    uint32_t capabilityBit4;
    uint32_t capabilityBit5;
} CpiCameraInfo;
CPI_STATIC_ASSERT(sizeof(CpiCameraInfo) == 40, "CpiCameraInfo is 40 bytes");

/* Picture counts and sizes (command 0x86). */
#pragma pack(push, 2)
typedef struct CpiImageInfo {
    uint16_t ImageCount;
    uint16_t HeaderCount;
    uint16_t imageWidth;
    uint16_t imageHeight;
    uint32_t rawImageSize;
    uint16_t thumbnailWidth;
    uint16_t thumbnailHeight;
    uint16_t rawThumbnailSize;
} CpiImageInfo;
#pragma pack(pop)
CPI_STATIC_ASSERT(sizeof(CpiImageInfo) == 18, "CpiImageInfo is packed to 18 bytes");

/* Sizes of one picture (command 0x8F on extended cameras, else copied from CpiImageInfo). */
typedef struct CpiImageInfoEx {
    uint16_t imageWidth;
    uint16_t imageHeight;
    uint32_t rawImageSize;
    uint16_t thumbnailWidth;
    uint16_t thumbnailHeight;
    uint16_t rawThumbnailSize;
    uint8_t padding[2];
} CpiImageInfoEx;
CPI_STATIC_ASSERT(sizeof(CpiImageInfoEx) == 16, "CpiImageInfoEx is 16 bytes");

/* The camera's state (command 0x8D on extended cameras). */
typedef struct CpiCameraStateInfo {
    uint8_t byte0;
    uint8_t busy; /* 1 = busy */
    uint16_t ImageCount;
    uint16_t HeaderCount;
} CpiCameraStateInfo;
CPI_STATIC_ASSERT(sizeof(CpiCameraStateInfo) == 6, "CpiCameraStateInfo is 6 bytes");

/* One picture's raw frame (commands 0x83, 0x84, 0x8F; image headers use the same layout). */
typedef struct CpiImageDescriptor {
    uint16_t rawWidth;
    uint16_t rawHeight;
    uint32_t rawDataSize;
    uint16_t descriptorWord1;
    uint16_t descriptorWord2;
    uint8_t descriptorByte1;
    uint8_t descriptorByte2;
    uint8_t descriptorByte3;
    uint8_t imageFlags;
} CpiImageDescriptor;
CPI_STATIC_ASSERT(sizeof(CpiImageDescriptor) == 16, "CpiImageDescriptor is 16 bytes");

/* A picture record: the 40-byte bitmap information header, followed directly by the pixels
 * (3 bytes per pixel, rows of width * 3 bytes without padding, bottom row first). */
typedef struct CpiImage {
    uint32_t headerSize; /* 40: the pixels start at this offset */
    int32_t width;
    int32_t height;
    uint16_t planes;       /* 1 */
    uint16_t bitsPerPixel; /* 24 */
    uint32_t compression;  /* 0 */
    uint32_t imageSize;    /* width * height * 3 */
    uint32_t xPixelsPerMetre;
    uint32_t yPixelsPerMetre;
    uint32_t coloursUsed;
    uint32_t coloursImportant;
} CpiImage;
CPI_STATIC_ASSERT(sizeof(CpiImage) == 40, "CpiImage header is 40 bytes");

/* The pixels of a picture record. */
static inline uint8_t* cpiImagePixels(CpiImage* image) CPI_NOEXCEPT {
    return (uint8_t*)image + sizeof(CpiImage);
}

/* ---- Connections (frame) ------------------------------------------------------------------ */

/* Lists the cameras of both transports: *count = cameras found (may exceed capacity), ids gets
 * at most capacity entries, USB cameras (0x2000 | n) first. 0, 5, 8 or a transport result. */
CPI_EXPORT uint32_t CpiCameraEnum(uint32_t first, uint32_t second, uint8_t capacity, uint16_t* ids,
                                  uint8_t* count) CPI_NOEXCEPT;
/* Reads / writes the name of camera `id` (bits 8-15 choose the transport). 2 for an unknown
 * transport or one that cannot be loaded, 5 for a null buffer, else the transport's result. */
CPI_EXPORT uint32_t CpiCameraNameGet(uint16_t id, uint32_t arg, char* buffer) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiCameraNameSet(uint16_t id, uint32_t arg, char* buffer) CPI_NOEXCEPT;
/* Opens a camera. On 0 *connection is open. On an echo or settle failure the error is returned
 * AND *connection is open: the caller must close it. Every other failure stores null (2 leaves
 * a null out-pointer alone). cameraId may be null. */
CPI_EXPORT uint32_t CpiCameraOpen(uint32_t selector, uint32_t port, CpiConnection** connection,
                                  uint16_t* cameraId) CPI_NOEXCEPT;
/* Closes and frees the connection; a transport failure is returned and the connection stays. */
CPI_EXPORT uint32_t CpiCameraClose(CpiConnection* c) CPI_NOEXCEPT;
/* The transport's text for a status; 2 for a null buffer or size 0.
 * One code is the library's own: for kCpiColourDefaults the transport is not asked. When the
 * camera's colour data could not be read at open (a colour-data command failed, or the colour
 * library refused what the camera sent), so that the pictures are converted with the sensor's
 * defaults, the buffer receives "the camera's colour data could not be read; the sensor's
 * defaults are used" (cut to size - 1 characters, always terminated) and kCpiColourDefaults
 * is returned. Otherwise (the camera's colour data is in use, or the camera has none: a length
 * below 16) the buffer receives "" and 0 is returned. A library without this code passes it
 * to the transport, which never answers kCpiColourDefaults, so callers test for that value. */
CPI_EXPORT uint32_t CpiGetErrorText(CpiConnection* c, uint32_t code, char* buffer,
                                    uint32_t size) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiGetLastError(CpiConnection* c, uint16_t* error) CPI_NOEXCEPT;
/* Store the low 16 bits; return 0. */
CPI_EXPORT uint32_t CpiSetNoOfRetrys(CpiConnection* c, uint32_t n) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiSetLockTimeout(CpiConnection* c, uint32_t timeout) CPI_NOEXCEPT;
/* The reset sequence: abort, transport reset, idle until it answers 0 (at most 5 times). */
CPI_EXPORT uint32_t CpiResetComms(CpiConnection* c) CPI_NOEXCEPT;
/* Echo tests (0x1234 ignored, then 0x5678), then the settle wait. */
CPI_EXPORT uint32_t CpiSyncCamera(CpiConnection* c) CPI_NOEXCEPT;

/* ---- Queries and control ------------------------------------------------------------------ */

/* Reads the camera information afresh (0x85) and adds the connection's camera id.
 * 0x20, 5 (null info), 0 or the transport's result; info is written only on 0. */
CPI_EXPORT uint32_t CpiGetCameraInfo(CpiConnection* c, CpiCameraInfo* info) CPI_NOEXCEPT;
/* Picture counts and sizes (0x86); 0x20, 5, 0 or the transport's result. */
CPI_EXPORT uint32_t CpiGetImageInfo(CpiConnection* c, CpiImageInfo* info) CPI_NOEXCEPT;
/* Sizes of picture `index` (0x8F on extended cameras, else CpiGetImageInfo's).
 * 0x20, 5, 0 or the transport's result. */
CPI_EXPORT uint32_t CpiGetImageInfoEx(CpiConnection* c, uint32_t index,
                                      CpiImageInfoEx* info) CPI_NOEXCEPT;
/* Busy flag and counts (0x8D on extended cameras, else from 0x86).
 * 0x20, 5, 0 or the transport's result. */
CPI_EXPORT uint32_t CpiGetCameraStateInfo(CpiConnection* c, CpiCameraStateInfo* state) CPI_NOEXCEPT;
/* *status = 1 when bit 2 of control register 0x0041 is set, else 0.
 * 0x20, 5, 0 or the transport's result. */
CPI_EXPORT uint32_t CpiGetPowerStatus(CpiConnection* c, uint32_t* status) CPI_NOEXCEPT;
/* The camera's picture format (0x87); `info` (optional) then gets
 * CpiGetImageInfo's record and result. 0x20, 5 (null format), 0 or the transport's result. */
CPI_EXPORT uint32_t CpiGetImageFormat(CpiConnection* c, uint32_t* format,
                                      CpiImageInfo* info) CPI_NOEXCEPT;
/* The format of picture `index` from its size: 10 for another size (format
 * unchanged, `info` still filled). 0x20, 5 (null format), 0, 10 or the transport's result. */
CPI_EXPORT uint32_t CpiGetImageFormatEx(CpiConnection* c, uint32_t index, uint32_t* format,
                                        CpiImageInfoEx* info) CPI_NOEXCEPT;
/* Sets format 0-3 (0x07); 2 for any other value, nothing sent. */
CPI_EXPORT uint32_t CpiSetImageFormat(CpiConnection* c, int32_t format) CPI_NOEXCEPT;
/* Register transfers of 1-16 bytes (the length's low 16 bits): 0x20, 5 for a null
 * buffer (checked first), 2 for a length of 0 or above 16, else the transport's result. */
CPI_EXPORT uint32_t CpiReadCtrlReg(CpiConnection* c, uint8_t high, uint8_t low, uint32_t length,
                                   uint8_t* buffer) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiWriteCtrlReg(CpiConnection* c, uint8_t high, uint8_t low, uint32_t length,
                                    uint8_t* buffer) CPI_NOEXCEPT;
/* SDRAM transfers, checked like register transfers. An address other than
 * 0xFFFFFFFF is first written to control register 0x0201; its failure is returned. */
CPI_EXPORT uint32_t CpiReadSdram(CpiConnection* c, uint32_t address, uint32_t length,
                                 uint8_t* buffer, uint32_t mode) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiWriteSdram(CpiConnection* c, uint32_t address, uint32_t length,
                                  uint8_t* buffer, uint32_t mode) CPI_NOEXCEPT;
/* Sends the low byte of `length` bytes of `data` with command 0x08.
 * 0x20, 5 when there are bytes to send but no data, else the transport's result. */
CPI_EXPORT uint32_t CpiTestControl(CpiConnection* c, uint8_t valueA, uint8_t valueB, uint8_t* data,
                                   uint32_t length) CPI_NOEXCEPT;
/* Grabs a picture: 0xFFFF in the low half of `index` means the next one; keep = 0
 * discards it after. 0x20 or the transport's result. */
CPI_EXPORT uint32_t CpiGrabImage(CpiConnection* c, uint32_t index, uint32_t keep) CPI_NOEXCEPT;
/* Resets the camera's picture index (0x06); 0x20 or the transport's result. */
CPI_EXPORT uint32_t CpiResetImageIndex(CpiConnection* c, uint32_t index) CPI_NOEXCEPT;

/* ---- Picture upload ----------------------------------------------------------------------- */
/* Pictures, regions, thumbnails and raw frames into caller records; each upload holds the
 * transport lock for its whole run. CpiCreateImage returns null when memory is short. */

CPI_EXPORT CpiImage* CpiCreateImage(int32_t width, int32_t height) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiFreeImage(CpiImage* image) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiUploadThumbnail(CpiConnection* c, uint32_t index, CpiImage* picture,
                                       CpiImageDescriptor* descriptor) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiUploadImage(CpiConnection* c, uint32_t index, CpiImage* picture,
                                   CpiImageDescriptor* descriptor) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiUploadImageROI(CpiConnection* c, uint32_t index, CpiImage* picture,
                                      CpiImageDescriptor* descriptor, uint32_t x,
                                      uint32_t y) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiUploadRawImage(CpiConnection* c, uint32_t index, uint8_t* buffer,
                                      CpiImageDescriptor* descriptor) CPI_NOEXCEPT;

/* ---- Block upload, bulk read, headers and flags ------------------------------------------- */
/* A block upload answers 6 while more blocks follow and 0 when the picture is complete; the
 * next block and cancel answer 0x3002 when none is in progress. */

CPI_EXPORT uint32_t CpiReadFirstImageBlock(CpiConnection* c, uint32_t index, CpiImage* picture,
                                           uint32_t blockSize, uint32_t* bytesDone,
                                           CpiImageDescriptor* descriptor) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiReadNextImageBlock(CpiConnection* c, uint32_t* bytesDone) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiCancelImageBlockUpload(CpiConnection* c) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiBulkUpload(CpiConnection* c, uint32_t address, uint32_t length,
                                  uint8_t* buffer, uint32_t reserved) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiGetImageHeader(CpiConnection* c, uint32_t index,
                                      CpiImageDescriptor* header) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiGetImageFlags(CpiConnection* c, uint32_t index, uint8_t* flags) CPI_NOEXCEPT;
CPI_EXPORT uint32_t CpiUploadImageFlags(CpiConnection* c, uint8_t* buffer, uint32_t length,
                                        uint16_t* headerCount, uint16_t* imageCount) CPI_NOEXCEPT;

/* ---- Colour matrix ------------------------------------------------------------------------ */

/* Sets colour parameter 11 to the 9 floats (row-major 3 x 3); 2 for a null matrix; else 0. */
CPI_EXPORT uint32_t CpiSetColourMatrix(CpiConnection* c, float* matrix) CPI_NOEXCEPT;
/* Reads colour parameter 11 into the 9 floats; 2 for a null matrix; else 0. */
CPI_EXPORT uint32_t CpiGetColourMatrix(CpiConnection* c, float* matrix) CPI_NOEXCEPT;

#ifdef __cplusplus
}
#endif
