// The window's camera state: opening, queries, the picture record and closing.
#include "browser/media/camera_session.h"

#include "browser/media/media_host.h"

namespace lumicart::media {

namespace {
constexpr uint32_t kStatusNoConnection = 5;
constexpr uint32_t kStatusNoPicture = 8;
} // namespace

CameraSession::~CameraSession() {
    CloseCameraConnection();
    freePicture();
}

void CameraSession::rebind(const CameraApi& api) {
    CloseCameraConnection();
    freePicture();
    m_api = &api;
}

uint32_t CameraSession::openCamera() {
    if (!m_api->CpiCameraOpen)
        return kStatusNoConnection;
    return m_api->CpiCameraOpen(0, 0, &m_connection, &m_cameraId);
}

uint32_t CameraSession::QueryCameraState() {
    if (!m_connection || !m_api->CpiGetCameraStateInfo)
        return kStatusNoConnection;
    return m_api->CpiGetCameraStateInfo(m_connection, &m_state);
}

uint32_t CameraSession::QueryPictureFormat(uint32_t index) {
    if (!m_connection || !m_api->CpiGetImageFormatEx)
        return kStatusNoConnection;
    return m_api->CpiGetImageFormatEx(m_connection, index, &m_format, &m_info);
}

std::string CameraSession::colourDefaultsNotice() const {
    char buffer[256] = {};
    if (!m_connection || !m_api->CpiGetErrorText ||
        m_api->CpiGetErrorText(m_connection, kCpiColourDefaults, buffer, sizeof buffer) !=
            kCpiColourDefaults)
        return {};
    buffer[sizeof buffer - 1] = '\0';
    return buffer[0] != '\0' ? buffer : "the camera's colour data could not be read";
}

uint32_t CameraSession::RecreatePicture() {
    freePicture();
    if (!m_api->CpiCreateImage)
        return kStatusNoPicture;
    m_picture = m_api->CpiCreateImage(m_info.imageWidth, m_info.imageHeight);
    if (!m_picture)
        return kStatusNoPicture;
    m_pictureWidth = m_info.imageWidth;
    m_pictureHeight = m_info.imageHeight;
    return 0;
}

void CameraSession::CloseCameraConnection() {
    if (!m_connection)
        return;
    if (m_api->CpiCameraClose)
        m_api->CpiCameraClose(m_connection);
    m_connection = nullptr;
}

void CameraSession::freePicture() {
    if (m_picture && m_api->CpiFreeImage && m_api->CpiFreeImage(m_picture) == kCpiBadImage) {
        // An upload that left the size fields at 0 makes the library refuse the record; it is
        // ours, so its size is restored and it is given back all the same.
        m_picture->width = m_pictureWidth;
        m_picture->height = m_pictureHeight;
        m_picture->imageSize = uint32_t(pictureBytes() - sizeof(CpiImage));
        m_api->CpiFreeImage(m_picture);
    }
    m_picture = nullptr;
    m_pictureWidth = m_pictureHeight = 0;
}

std::size_t CameraSession::pictureBytes() const {
    if (!m_picture)
        return 0;
    // The size the record was made with: an upload never changes it, whatever its header says.
    return sizeof(CpiImage) + std::size_t(m_pictureWidth) * std::size_t(m_pictureHeight) * 3;
}

std::optional<CommandEnd> StartCameraCommand(CameraSession& session, MessageHost& host) {
    if (!session.usable()) {
        host.showMessageEntry(kMsgNoCameraLibrary, std::nullopt);
        return CommandEnd::LibraryMissing;
    }
    if (session.openCamera() != 0) {
        host.showMessageEntry(kMsgCannotOpenCamera, std::nullopt);
        session.CloseCameraConnection();
        return CommandEnd::OpenFailed;
    }
    if (session.QueryCameraState() != 0) {
        session.CloseCameraConnection();
        return CommandEnd::StateFailed;
    }
    if (session.imageCount() == 0) {
        host.showMessageEntry(kMsgNoImages, std::nullopt);
        session.CloseCameraConnection();
        return CommandEnd::NoPictures;
    }
    return std::nullopt;
}

} // namespace lumicart::media
