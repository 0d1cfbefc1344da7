// The one table that turns transport status codes into text.
#include "devices/virtualcam/status.h"

namespace kerris::virtualcam {

namespace {

struct StatusEntry {
    uint32_t code;
    const char* text;
};

constexpr StatusEntry kStatusTexts[] = {
    {kOk, "The operation completed successfully"},
    {kTaskPending, "The camera has not finished the command yet"},
    {kTaskStarted, "The command was started"},
    {kNoSerialCamera, "No camera answers on the serial link"},
    {kShortTransfer, "The camera sent fewer bytes than were asked for"},
    {kNoTransfer, "The camera has no data to send"},
    {kNotSupported, "The request is not supported"},
    {kBadHandle, "The camera handle is not open"},
    {kNoCamera, "There is no camera with that number"},
    {kBadArgument, "An argument is missing or out of range"},
    {kBadRecord, "The command record is malformed"},
    {kLockTimeout, "The camera is in use: its lock was not free in time"},
    {kNotLocked, "The camera was not locked by this handle"},
    {kUnknownCommand, "The camera does not know this command"},
    {kBadLength, "The data length does not suit the command"},
    {kBadValue, "A value of the command is out of range"},
    {kBadIndex, "There is no picture with that number"},
    {kBadAddress, "The memory range is outside the camera's memory"},
    {kCameraBusy, "The camera is busy"},
    {kBadTask, "The task is not running"},
    {kTaskAborted, "The task was aborted"},
    {kReadFailed, "Reading data from the camera failed"},
    {kCommandFailed, "The camera did not answer the command"},
    {kTooManyHandles, "Too many camera handles are open"},
    {kOutOfMemory, "Out of memory"},
    {kSettingsFailed, "The camera's settings could not be saved"},
    {kNoThumbnail, "The camera keeps no thumbnails"},
};

} // namespace

const char* statusText(uint32_t code) {
    for (const StatusEntry& e : kStatusTexts)
        if (e.code == code)
            return e.text;
    return nullptr;
}

} // namespace kerris::virtualcam
