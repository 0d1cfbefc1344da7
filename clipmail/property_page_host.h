// The property-page host control (class CLSID_PropertyPageHost) placed in a widget of a
// dialog, as control 1004 of templates 102 and 131: the control fills that widget and shows
// the encoder's pages; its shell interface adds pages, gives them the encoder and applies.
#pragma once

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <array>
#include <cstdint>

class QWidget;

namespace kerris::clipmail {

// The stored initialisation data of control 1004 (34 bytes; the control's own layout):
// a version word (1), the extent in 0.01 mm as two 32-bit numbers, then 24 bytes of settings
// that the control keeps (zero: its defaults). All little-endian.
using HostInitData = std::array<uint8_t, 34>;
// Template 102: the hidden host of the main dialog.
extern const HostInitData kMainHostInitData;
// Template 131: the host filling the upper part of the System dialog.
extern const HostInitData kSystemHostInitData;

class PropertyPageHostControl {
public:
    PropertyPageHostControl() = default;
    PropertyPageHostControl(const PropertyPageHostControl&) = delete;
    PropertyPageHostControl& operator=(const PropertyPageHostControl&) = delete;
    ~PropertyPageHostControl() { destroy(); }

    // Creates the control in place (its window handle is place's) with the template's data.
    // False when the class cannot be created or does not take the place; nothing is kept then.
    bool create(QWidget* place, const HostInitData& initData);
    // The control's shell interface, with a reference for the caller; empty without a control
    // or when it has none.
    com::ComPtr<encoder::IPropertyPageHost> shellInterface() const;
    // Takes the control out of its place and releases it.
    void destroy();
    bool exists() const { return bool(m_control); }

private:
    com::ComPtr<com::IUnknown> m_control;
    com::ComPtr<encoder::IControlSite> m_site;
};

} // namespace kerris::clipmail
