// The camera state the browser's window holds between and during its camera commands.
#pragma once

#include "browser/media/camera_api.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace lumicart::media {

class MessageHost;
enum class CommandEnd;

// One open camera at most, the picture format and size in use, and the picture record that
// downloads and camera movies upload into. The record is kept between commands and freed
// when the session ends.
class CameraSession {
public:
    // `api` must outlive the session (the window's library, or a test's table).
    explicit CameraSession(const CameraApi& api) : m_api(&api) {}
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;
    // Closes a connection still held and frees the picture record.
    ~CameraSession();

    const CameraApi& api() const { return *m_api; }
    // Points the session at another table (after the library was loaded or unloaded);
    // a held connection and picture are released through the old table first.
    void rebind(const CameraApi& api);

    // True when every entry point the camera commands call is resolved.
    bool usable() const { return m_api->hasBrowserEntryPoints(); }

    // CpiCameraOpen with selector 0 and port 0 into the connection and camera identifier slot.
    uint32_t openCamera();
    // 5 when no connection is held, else CpiGetCameraStateInfo into the camera state.
    uint32_t QueryCameraState();
    // 5 when no connection is held, else CpiGetImageFormatEx for `index` into the current
    // format and information.
    uint32_t QueryPictureFormat(uint32_t index);
    // Frees the held picture and creates one of the current information's size: 0, or 8 when
    // none could be made (the held picture is then null).
    uint32_t RecreatePicture();
    // Closes a held connection; it is forgotten whatever the close returns.
    void CloseCameraConnection();
    // Frees the held picture record.
    void freePicture();
    // What the camera library says of the held connection when the camera's colour data could
    // not be read at open and pictures get the sensor's default colours; empty when the colours
    // are the camera's own, when the library does not tell, or when no connection is held.
    std::string colourDefaultsNotice() const;

    bool connected() const { return m_connection != nullptr; }
    CpiConnection* connection() const { return m_connection; }
    uint16_t imageCount() const { return m_state.ImageCount; }
    uint32_t currentFormat() const { return m_format; }
    const CpiImageInfoEx& currentInfo() const { return m_info; }
    CpiImage* picture() const { return m_picture; }
    // Bytes of the held picture record (header and pixels); 0 without one.
    std::size_t pictureBytes() const;

private:
    const CameraApi* m_api;
    CpiConnection* m_connection = nullptr;
    uint16_t m_cameraId = 0;
    uint32_t m_format = 0;
    CpiImageInfoEx m_info{};
    CpiCameraStateInfo m_state{};
    CpiImage* m_picture = nullptr;
    int32_t m_pictureWidth = 0, m_pictureHeight = 0;
};

// The start both camera commands share: check the entry points (else message 1), open the
// camera with selector 0 and port 0 (else message 3, closing a connection handed back anyway),
// read its state (else silence) and its picture count (0: message 4). nullopt when the camera
// is open and holds pictures; else how the command ended, the camera closed.
std::optional<CommandEnd> StartCameraCommand(CameraSession& session, MessageHost& host);

} // namespace lumicart::media
