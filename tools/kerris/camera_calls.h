// The camera library as the tool calls it: the browser's table of entry points (tests stand in
// for them), status texts, and the owner of an open camera.
#pragma once

#include <cstdint>
#include <string>

#include "browser/media/camera_api.h"
#include "camera/cpi.h"

namespace kerris::tool {

using lumicart::media::CameraApi;

// The camera library linked into the tool, as the browser's table of its 41 entry points.
CameraApi libraryCameraApi();

// "status 0x4000 (the colour library is missing or failed)"; the transport's own text is asked
// for when a connection is open and the code is not one of the library's.
std::string describeStatus(const CameraApi& api, CpiConnection* connection, std::uint32_t status);

// An open camera, closed when it goes out of scope.
class OpenCamera {
public:
    OpenCamera(const CameraApi& api, CpiConnection* connection)
        : m_api(api), m_connection(connection) {}
    ~OpenCamera() {
        if (m_connection)
            m_api.CpiCameraClose(m_connection);
    }
    OpenCamera(const OpenCamera&) = delete;
    OpenCamera& operator=(const OpenCamera&) = delete;
    CpiConnection* get() const { return m_connection; }

private:
    const CameraApi& m_api;
    CpiConnection* m_connection;
};

} // namespace kerris::tool
