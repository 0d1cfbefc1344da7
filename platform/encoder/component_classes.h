// The class identifiers libkerrisenc.so ("kerrisenc.dll") serves, for the library's factory
// table and for the setup program that registers them.
#pragma once

#include "platform/encoder/encoder_interfaces.h"

#include <array>

namespace kerris::encoder {

inline constexpr char kComponentLibrary[] = "kerrisenc.dll";

inline constexpr std::array<GUID, 10> kComponentClasses = {
    CLSID_Encoder,
    CLSID_View,
    CLSID_ProfileDetailsService,
    CLSID_PropertyPageHost,
    CLSID_PageMain,
    CLSID_Page1,
    CLSID_Page2,
    CLSID_Page3,
    CLSID_Page4,
    CLSID_SystemDeviceEnum,
};

} // namespace kerris::encoder
