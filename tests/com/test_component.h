// The class identifiers and the one interface of the tests' own component library
// (libkerristestcom.so, and libkerrisnoentry.so, the same without DllGetClassObject).
#pragma once

#include "platform/com/com.h"

namespace kerris::comtest {

// Served by the library.
inline constexpr com::GUID CLSID_TestThing = {
    0x7E57C0DE, 0x0001, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
// Registered for the library, which does not serve it.
inline constexpr com::GUID CLSID_TestUnserved = {
    0x7E57C0DE, 0x0002, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02}};
// The library's DllGetClassObject claims success but hands out no factory.
inline constexpr com::GUID CLSID_TestNoFactory = {
    0x7E57C0DE, 0x0003, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}};

class ITestThing : public com::IUnknown {
public:
    static constexpr com::GUID kIid = {
        0x7E57C0DE, 0x00FF, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}};
    virtual int32_t Value() = 0; // 3: 42
};

} // namespace kerris::comtest

// Exported by the test component: its live objects and factory locks.
using TestComponentLiveFunction = long (*)();
