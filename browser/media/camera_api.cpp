// Binding of the camera protocol library's entry points by name.
#include "browser/media/camera_api.h"

namespace lumicart::media {

const std::array<const char*, kCameraApiCount> kCameraApiNames = {
#define LUMICART_CAMERA_API_NAME(name) #name,
    LUMICART_CAMERA_API(LUMICART_CAMERA_API_NAME)
#undef LUMICART_CAMERA_API_NAME
};

bool CameraApi::hasBrowserEntryPoints() const {
    return CpiCameraOpen && CpiCameraClose && CpiGetCameraStateInfo && CpiGetImageFormatEx &&
           CpiCreateImage && CpiFreeImage && CpiUploadImage;
}

void BindCameraApi(kerris::module::Handle library, CameraApi& api) {
    api = CameraApi{};
    if (!library)
        return;
#define LUMICART_CAMERA_API_BIND(name)                                                             \
    api.name = reinterpret_cast<decltype(api.name)>(kerris::module::symbol(library, #name));
    LUMICART_CAMERA_API(LUMICART_CAMERA_API_BIND)
#undef LUMICART_CAMERA_API_BIND
}

CameraLibrary::~CameraLibrary() {
    unload();
}

bool CameraLibrary::load() {
    unload();
    m_handle = kerris::module::load(kCameraLibraryName);
    BindCameraApi(m_handle, m_api);
    return m_handle != nullptr;
}

void CameraLibrary::unload() {
    m_api = CameraApi{};
    if (m_handle) {
        kerris::module::release(m_handle);
        m_handle = nullptr;
    }
}

} // namespace lumicart::media
