// Status codes of the transport libraries and the virtual camera behind them.
#pragma once

#include <cstdint>

namespace kerris::virtualcam {

// Codes whose meaning the camera library relies on.
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kTaskPending = 0x11;     // a task has not completed within the wait
inline constexpr uint32_t kTaskStarted = 0x41;     // older cameras: a command task was started
inline constexpr uint32_t kNoSerialCamera = 0x42;  // serial link: no camera answers
inline constexpr uint32_t kShortTransfer = 0x1003; // the transfer ended before the length asked
inline constexpr uint32_t kNoTransfer = 0x1004;    // no data transfer is pending
inline constexpr uint32_t kNotSupported = 0x3003;  // the request is not supported

// The transport's own codes.
inline constexpr uint32_t kBadHandle = 0x2001;      // the handle is not open
inline constexpr uint32_t kNoCamera = 0x2002;       // no camera of that number
inline constexpr uint32_t kBadArgument = 0x2003;    // a null pointer or a value out of range
inline constexpr uint32_t kBadRecord = 0x2004;      // malformed command record
inline constexpr uint32_t kLockTimeout = 0x2005;    // the lock was not free within the timeout
inline constexpr uint32_t kNotLocked = 0x2006;      // unlock by a handle that holds no lock
inline constexpr uint32_t kUnknownCommand = 0x2007; // the camera does not know the request
inline constexpr uint32_t kBadLength = 0x2008;      // data length wrong for the request
inline constexpr uint32_t kBadValue = 0x2009;       // value bytes or payload out of range
inline constexpr uint32_t kBadIndex = 0x200A;       // no picture of that index
inline constexpr uint32_t kBadAddress = 0x200B;     // camera memory range out of bounds
inline constexpr uint32_t kCameraBusy = 0x200C;     // the camera is busy
inline constexpr uint32_t kBadTask = 0x200D;        // not a running task
inline constexpr uint32_t kTaskAborted = 0x200E;    // the task was aborted while waited for
inline constexpr uint32_t kReadFailed = 0x200F;     // the data read failed on the link
inline constexpr uint32_t kCommandFailed = 0x2010;  // the camera did not answer the command
inline constexpr uint32_t kTooManyHandles = 0x2011; // no more handles can be opened
inline constexpr uint32_t kOutOfMemory = 0x2012;    // memory ran out
inline constexpr uint32_t kSettingsFailed = 0x2013; // the camera's settings could not be saved
inline constexpr uint32_t kNoThumbnail = 0x2014;    // the camera keeps no thumbnails

// Camera-side error numbers reported by the last error command (0x80).
inline constexpr uint16_t kCameraErrorNone = 0;
inline constexpr uint16_t kCameraErrorCommand = 1; // unknown or malformed command
inline constexpr uint16_t kCameraErrorIndex = 2;   // no such picture
inline constexpr uint16_t kCameraErrorAddress = 3; // memory range out of bounds
inline constexpr uint16_t kCameraErrorLink = 4;    // the link lost the command

// The text for a status, or null for a code not listed above.
const char* statusText(uint32_t code);

} // namespace kerris::virtualcam
