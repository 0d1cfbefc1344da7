// The view object (CLSID_View): shows the live video of the encoder whose preview collection
// it was added to, scaled to fit, in a window of the program given by its handle.
#pragma once

#include "platform/encoder/encoder_interfaces.h"
#include "platform/encoder/live_session.h"

#include "platform/com/com_object.h"

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>

namespace kerris::encoder {

class ViewSurface;

// Our own interface between a preview collection and the views placed in it.
class IViewBinding : public IUnknown {
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0102, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    // The view shows live's pictures under that cookie from now on.
    virtual void attach(int32_t cookie, std::shared_ptr<LiveSession> live) = 0; // 3
    // The collection has let it go: the picture of that cookie leaves its window.
    virtual void detach(int32_t cookie) = 0; // 4
};

class View final : public com::ComObject<IView, IViewBinding> {
public:
    HRESULT SetViewProperties(int32_t cookie, uint32_t size, void* data) override;
    HRESULT StartView(int32_t cookie) override;
    HRESULT StopView(int32_t cookie) override;

    void attach(int32_t cookie, std::shared_ptr<LiveSession> live) override;
    void detach(int32_t cookie) override;

protected:
    ~View() override;

private:
    struct Binding {
        std::shared_ptr<LiveSession> live;
        QPointer<QWidget> surface; // a ViewSurface, owned by the window it shows in
        bool started = false;
    };
    HRESULT unknownCookie(int32_t cookie);
    std::map<int32_t, Binding> m_bindings;
};

} // namespace kerris::encoder
