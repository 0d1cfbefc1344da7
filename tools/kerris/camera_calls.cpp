// The camera library table of the tool, status texts and the owners of connections and records.
#include "tools/kerris/camera_calls.h"

#include <cstdio>

namespace kerris::tool {

CameraCalls libraryCameraCalls() {
    return CameraCalls{CpiCameraEnum,         CpiCameraNameGet,    CpiCameraOpen,
                       CpiCameraClose,        CpiGetErrorText,     CpiGetCameraInfo,
                       CpiGetCameraStateInfo, CpiGetImageFormatEx, CpiCreateImage,
                       CpiFreeImage,          CpiUploadImage};
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

std::string describeStatus(const CameraCalls& calls, CpiConnection* connection,
                           std::uint32_t status) {
    char code[32];
    std::snprintf(code, sizeof code, "status 0x%X", status);
    std::string text = code;
    if (const char* own = libraryText(status)) {
        text += std::string(" (") + own + ")";
    } else if (connection != nullptr) {
        char buffer[256] = {};
        if (calls.getErrorText(connection, status, buffer, sizeof buffer - 1) == 0 &&
            buffer[0] != '\0')
            text += std::string(" (") + buffer + ")";
    }
    return text;
}

bool PictureRecord::recreate(int width, int height) {
    reset();
    m_image = m_calls.createImage(width, height);
    if (m_image == nullptr)
        return false;
    m_width = width;
    m_height = height;
    m_bytes = sizeof(CpiImage) + std::size_t(width) * std::size_t(height) * 3;
    return true;
}

void PictureRecord::reset() {
    if (m_image != nullptr && m_calls.freeImage(m_image) == kCpiBadImage) {
        // An upload that left the size fields at 0 makes the library refuse the record; it is
        // ours, so its size is restored and it is given back all the same.
        m_image->width = m_width;
        m_image->height = m_height;
        m_image->imageSize = std::uint32_t(m_bytes - sizeof(CpiImage));
        m_calls.freeImage(m_image);
    }
    m_image = nullptr;
    m_bytes = 0;
}

} // namespace kerris::tool
