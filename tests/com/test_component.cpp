// A tiny component library for the class-creation tests: one class, one interface, and a count
// of what is alive. Built without DllGetClassObject as well (KERRIS_TEST_NO_CLASS_OBJECT).
#include "tests/com/test_component.h"
#include "platform/com/com_object.h"

using namespace kerris::com;
using namespace kerris::comtest;

namespace {

class TestThing final : public ComObject<ITestThing> {
public:
    int32_t Value() override { return 42; }
};

} // namespace

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef KERRIS_TEST_NO_CLASS_OBJECT
TEST_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** factory) {
    if (!clsid || !iid || !factory)
        return E_POINTER;
    if (*clsid == CLSID_TestNoFactory)
        return S_OK;
    if (!(*clsid == CLSID_TestThing))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* created = new ClassFactory<TestThing>();
    HRESULT hr = created->QueryInterface(*iid, factory);
    created->Release();
    return hr;
}
#endif

TEST_EXPORT HRESULT DllCanUnloadNow() {
    return g_moduleReferences == 0 ? S_OK : S_FALSE;
}

TEST_EXPORT long TestComponent_LiveObjects() {
    return g_moduleReferences;
}
