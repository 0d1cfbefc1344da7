// The camera library calls the tool makes, in one table so that tests can stand in for them.
#pragma once

#include <cstdint>
#include <string>

#include "camera/cpi.h"

namespace kerris::tool {

struct CameraCalls {
    decltype(&CpiCameraEnum) cameraEnum;
    decltype(&CpiCameraNameGet) cameraNameGet;
    decltype(&CpiCameraOpen) cameraOpen;
    decltype(&CpiCameraClose) cameraClose;
    decltype(&CpiGetErrorText) getErrorText;
    decltype(&CpiGetCameraInfo) getCameraInfo;
    decltype(&CpiGetCameraStateInfo) getCameraStateInfo;
    decltype(&CpiGetImageFormatEx) getImageFormatEx;
    decltype(&CpiCreateImage) createImage;
    decltype(&CpiFreeImage) freeImage;
    decltype(&CpiUploadImage) uploadImage;
};

// The camera library linked into the tool.
CameraCalls libraryCameraCalls();

// "status 0x4000 (the colour library is missing or failed)"; the transport's own text is asked
// for when a connection is open and the code is not one of the library's.
std::string describeStatus(const CameraCalls& calls, CpiConnection* connection,
                           std::uint32_t status);

// An open camera, closed when it goes out of scope.
class OpenCamera {
public:
    OpenCamera(const CameraCalls& calls, CpiConnection* connection)
        : m_calls(calls), m_connection(connection) {}
    ~OpenCamera() {
        if (m_connection)
            m_calls.cameraClose(m_connection);
    }
    OpenCamera(const OpenCamera&) = delete;
    OpenCamera& operator=(const OpenCamera&) = delete;
    CpiConnection* get() const { return m_connection; }

private:
    const CameraCalls& m_calls;
    CpiConnection* m_connection;
};

// A picture record of the camera library, freed when it goes out of scope.
class PictureRecord {
public:
    explicit PictureRecord(const CameraCalls& calls) : m_calls(calls) {}
    ~PictureRecord() { reset(); }
    PictureRecord(const PictureRecord&) = delete;
    PictureRecord& operator=(const PictureRecord&) = delete;
    // A new record of width x height; false (and no record) when the library gives none.
    bool recreate(int width, int height);
    void reset();
    CpiImage* get() const { return m_image; }
    // The record's length in bytes: header and pixels.
    std::size_t bytes() const { return m_bytes; }

private:
    const CameraCalls& m_calls;
    CpiImage* m_image = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::size_t m_bytes = 0;
};

} // namespace kerris::tool
