// The camera protocol library as the picture browser binds it: 41 entry points resolved by name.
#pragma once

#include "camera/cpi.h"
#include "platform/module/module.h"

#include <array>
#include <cstddef>

namespace lumicart::media {

// The entry points in the order the browser resolves them. X(name) is expanded once per name.
#define LUMICART_CAMERA_API(X)                                                                     \
    X(CpiCameraEnum)                                                                               \
    X(CpiCameraNameGet)                                                                            \
    X(CpiCameraNameSet)                                                                            \
    X(CpiCameraOpen)                                                                               \
    X(CpiCameraClose)                                                                              \
    X(CpiGetCameraInfo)                                                                            \
    X(CpiGetImageInfoEx)                                                                           \
    X(CpiGetCameraStateInfo)                                                                       \
    X(CpiGetPowerStatus)                                                                           \
    X(CpiGetLastError)                                                                             \
    X(CpiCreateImage)                                                                              \
    X(CpiFreeImage)                                                                                \
    X(CpiUploadThumbnail)                                                                          \
    X(CpiUploadImage)                                                                              \
    X(CpiUploadImageROI)                                                                           \
    X(CpiReadFirstImageBlock)                                                                      \
    X(CpiReadNextImageBlock)                                                                       \
    X(CpiCancelImageBlockUpload)                                                                   \
    X(CpiGrabImage)                                                                                \
    X(CpiResetComms)                                                                               \
    X(CpiResetImageIndex)                                                                          \
    X(CpiGetImageFormatEx)                                                                         \
    X(CpiSetImageFormat)                                                                           \
    X(CpiGetErrorText)                                                                             \
    X(CpiSetColourMatrix)                                                                          \
    X(CpiGetColourMatrix)                                                                          \
    X(CpiSyncCamera)                                                                               \
    X(CpiUploadImageFlags)                                                                         \
    X(CpiGetImageFlags)                                                                            \
    X(CpiReadCtrlReg)                                                                              \
    X(CpiWriteCtrlReg)                                                                             \
    X(CpiReadSdram)                                                                                \
    X(CpiWriteSdram)                                                                               \
    X(CpiBulkUpload)                                                                               \
    X(CpiTestControl)                                                                              \
    X(CpiGetImageHeader)                                                                           \
    X(CpiUploadRawImage)                                                                           \
    X(CpiSetNoOfRetrys)                                                                            \
    X(CpiSetLockTimeout)                                                                           \
    X(CpiGetImageInfo)                                                                             \
    X(CpiGetImageFormat)

// One pointer per entry point, typed after the library's own prototypes; null when unresolved.
struct CameraApi {
#define LUMICART_CAMERA_API_FIELD(name) decltype(&::name) name = nullptr;
    LUMICART_CAMERA_API(LUMICART_CAMERA_API_FIELD)
#undef LUMICART_CAMERA_API_FIELD

    // True when the seven entry points the browser's camera commands call are all resolved.
    bool hasBrowserEntryPoints() const;
};

inline constexpr std::size_t kCameraApiCount = 41;
extern const std::array<const char*, kCameraApiCount> kCameraApiNames;

// The library's name as the browser loads it.
inline constexpr const char* kCameraLibraryName = "kerriscp.dll";

// Resolves every name of kCameraApiNames in order from `library`; a missing name stays null.
// A null library leaves every entry null.
void BindCameraApi(kerris::module::Handle library, CameraApi& api);

// The loaded camera library and its bound entry points; unloaded when destroyed.
class CameraLibrary {
public:
    CameraLibrary() = default;
    CameraLibrary(const CameraLibrary&) = delete;
    CameraLibrary& operator=(const CameraLibrary&) = delete;
    ~CameraLibrary();

    // Loads "kerriscp.dll" through the platform's search order and binds the table.
    // False when the library could not be loaded; the table then stays empty.
    bool load();
    // Drops the library; the table is emptied first so nothing calls into unloaded code.
    void unload();

    bool isLoaded() const { return m_handle != nullptr; }
    const CameraApi& api() const { return m_api; }

private:
    kerris::module::Handle m_handle = nullptr;
    CameraApi m_api;
};

} // namespace lumicart::media
