// The view object: binds the previews it was added to to windows of the program.
#include "platform/encoder/view.h"

#include "platform/encoder/slot_support.h"
#include "platform/encoder/view_surface.h"

#include <cstring>

namespace kerris::encoder {

namespace {
const GUID& kViewIid = IView::kIid;

ViewSurface* surfaceOf(const QPointer<QWidget>& widget) {
    return static_cast<ViewSurface*>(widget.data());
}
} // namespace

View::~View() {
    for (auto& [cookie, binding] : m_bindings)
        delete binding.surface.data();
}

HRESULT View::unknownCookie(int32_t cookie) {
    return com::fail(com::E_INVALIDARG, kViewIid,
                     "The view is not in a preview with the cookie " + std::to_string(cookie));
}

HRESULT View::SetViewProperties(int32_t cookie, uint32_t size, void* data) {
    return guardedSlot(kViewIid, [&] {
        auto it = m_bindings.find(cookie);
        if (it == m_bindings.end())
            return unknownCookie(cookie);
        if (size != sizeof(HWND) || !data)
            return com::fail(com::E_INVALIDARG, kViewIid,
                             "The view's properties are the address of a window handle (4 bytes)");
        HWND handle;
        std::memcpy(&handle, data, sizeof handle);
        auto* window = static_cast<QWidget*>(KerrisWindowFromHandle(handle));
        if (!window)
            return com::fail(com::E_INVALIDARG, kViewIid,
                             "The window handle " + std::to_string(handle) +
                                 " does not name a window of this program");
        Binding& binding = it->second;
        const bool wasStarted = binding.surface && surfaceOf(binding.surface)->started();
        delete binding.surface.data();
        auto* surface = new ViewSurface(window, binding.live);
        binding.surface = surface;
        if (wasStarted || binding.started)
            surface->start();
        return com::S_OK;
    });
}

HRESULT View::StartView(int32_t cookie) {
    return guardedSlot(kViewIid, [&] {
        auto it = m_bindings.find(cookie);
        if (it == m_bindings.end())
            return unknownCookie(cookie);
        it->second.started = true;
        if (ViewSurface* surface = surfaceOf(it->second.surface))
            surface->start();
        return com::S_OK;
    });
}

HRESULT View::StopView(int32_t cookie) {
    auto it = m_bindings.find(cookie);
    if (it == m_bindings.end())
        return unknownCookie(cookie);
    it->second.started = false;
    if (ViewSurface* surface = surfaceOf(it->second.surface))
        surface->stop();
    return com::S_OK;
}

void View::attach(int32_t cookie, std::shared_ptr<LiveSession> live) {
    Binding& binding = m_bindings[cookie];
    delete binding.surface.data();
    binding = Binding{std::move(live), nullptr, false};
}

void View::detach(int32_t cookie) {
    auto it = m_bindings.find(cookie);
    if (it == m_bindings.end())
        return;
    delete it->second.surface.data();
    m_bindings.erase(it);
}

} // namespace kerris::encoder
