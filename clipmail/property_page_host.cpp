// Creating, placing and releasing the property-page host control.
#include "clipmail/property_page_host.h"

#include "clipmail/com_calls.h"

namespace kerris::clipmail {
namespace {

constexpr HostInitData initData(uint32_t extentX, uint32_t extentY) {
    HostInitData data{};
    data[0] = 1;
    for (int i = 0; i < 4; ++i) {
        data[2 + i] = uint8_t(extentX >> (8 * i));
        data[6 + i] = uint8_t(extentY >> (8 * i));
    }
    return data;
}

// Extents of the templates' host rectangles (pixels at 96 per inch, in 0.01 mm).
constexpr uint32_t himetric(uint32_t pixels) {
    return pixels * 2540 / 96;
}

} // namespace

const HostInitData kMainHostInitData = initData(himetric(20), himetric(20));
const HostInitData kSystemHostInitData = initData(himetric(480), himetric(360));

bool PropertyPageHostControl::create(QWidget* place, const HostInitData& data) {
    destroy();
    com::ComPtr<com::IUnknown> control =
        createObject<com::IUnknown>(encoder::CLSID_PropertyPageHost);
    if (!control)
        return false;
    com::ComPtr<encoder::IControlSite> site = control.as<encoder::IControlSite>();
    if (!site ||
        com::failed(site->Attach(KerrisWindowHandle(place), data.data(), uint32_t(data.size())))) {
        discardErrorInfo();
        return false;
    }
    m_control = std::move(control);
    m_site = std::move(site);
    return true;
}

com::ComPtr<encoder::IPropertyPageHost> PropertyPageHostControl::shellInterface() const {
    return m_control.as<encoder::IPropertyPageHost>();
}

void PropertyPageHostControl::destroy() {
    if (m_site)
        m_site->Detach();
    m_site.reset();
    m_control.reset();
}

} // namespace kerris::clipmail
