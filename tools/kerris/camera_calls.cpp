// The camera library table of the tool and its status texts.
#include "tools/kerris/camera_calls.h"

#include <cstdio>

namespace kerris::tool {

CameraApi libraryCameraApi() {
    CameraApi api;
#define KERRIS_LINKED_ENTRY(name) api.name = ::name;
    LUMICART_CAMERA_API(KERRIS_LINKED_ENTRY)
#undef KERRIS_LINKED_ENTRY
    return api;
}

namespace {

const char* libraryText(std::uint32_t status) {
    switch (status) {
    case kCpiBadValue:
        return "a value is out of range or the transport is unknown";
    case kCpiBufferTooShort:
        return "a buffer is too short";
    case kCpiNullPointer:
        return "a required pointer is missing";
    case kCpiOutOfMemory:
        return "out of memory";
    case kCpiBadImage:
        return "the picture record is not valid";
    case kCpiWrongSize:
        return "the picture size does not match the camera's picture";
    case kCpiTaskIncomplete:
        return "the camera did not answer in time";
    case kCpiBadConnection:
        return "the connection is not open";
    case kCpiTransportMissing:
        return "the transport library could not be loaded";
    case kCpiEchoMismatch:
        return "the camera answered the echo test wrongly";
    case kCpiNoCommandRecord:
        return "a command record could not be allocated";
    case kCpiNoBlockUpload:
        return "no block upload is in progress";
    case kCpiNoTransport:
        return "no camera transport is available";
    case kCpiColourFailed:
        return "the colour library is missing or failed";
    default:
        return nullptr;
    }
}

} // namespace

std::string describeStatus(const CameraApi& api, CpiConnection* connection, std::uint32_t status) {
    char code[32];
    std::snprintf(code, sizeof code, "status 0x%X", status);
    std::string text = code;
    if (const char* own = libraryText(status)) {
        text += std::string(" (") + own + ")";
    } else if (connection != nullptr) {
        char buffer[256] = {};
        if (api.CpiGetErrorText(connection, status, buffer, sizeof buffer - 1) == 0 &&
            buffer[0] != '\0')
            text += std::string(" (") + buffer + ")";
    }
    return text;
}

} // namespace kerris::tool
