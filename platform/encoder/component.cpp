// The exports of libkerrisenc.so: the class factories of every class it serves, and whether
// the library may be unloaded.
#include "platform/encoder/component_classes.h"
#include "platform/encoder/device_enumerator.h"
#include "platform/encoder/encoder.h"
#include "platform/encoder/pages/pages.h"
#include "platform/encoder/profiles.h"
#include "platform/encoder/slot_support.h"
#include "platform/encoder/view.h"

#include "platform/com/com_object.h"

#include <new>

namespace kerris::encoder {

namespace {

using Creator = IUnknown* (*)();

template <class T, class I> IUnknown* createObject() {
    return static_cast<I*>(new T());
}

// A factory that makes its objects through a creation function (the pages and their host
// come from the pages library that way).
class FunctionFactory final : public com::ComObject<com::IClassFactory> {
public:
    explicit FunctionFactory(Creator create) : m_create(create) {}

    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override {
        if (!object)
            return missingResult(com::IClassFactory::kIid);
        *object = nullptr;
        if (outer)
            return com::fail(com::CLASS_E_NOAGGREGATION, com::IClassFactory::kIid,
                             "The encoder's objects cannot be aggregated");
        IUnknown* created = nullptr;
        try {
            created = m_create();
        } catch (...) {
            created = nullptr;
        }
        if (!created)
            return com::fail(com::E_OUTOFMEMORY, com::IClassFactory::kIid,
                             "There is not enough memory for the encoder");
        HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        if (com::failed(hr))
            return com::fail(hr, com::IClassFactory::kIid,
                             "The object does not offer the interface " + com::guidText(iid));
        return hr;
    }
    HRESULT LockServer(int32_t lock) override {
        if (lock)
            ++com::g_moduleReferences;
        else
            --com::g_moduleReferences;
        return com::S_OK;
    }

private:
    Creator m_create;
};

struct ClassEntry {
    const GUID& clsid;
    Creator create;
};

IUnknown* createHost() {
    return pages::createPropertyPageHost();
}
template <const GUID& clsid> IUnknown* createPage() {
    return pages::createPage(clsid);
}

const ClassEntry kClassTable[] = {
    {CLSID_Encoder, createObject<Encoder, IEncoder>},
    {CLSID_View, createObject<View, IView>},
    {CLSID_ProfileDetailsService, createObject<ProfileDetailsService, IProfileDetailsService>},
    {CLSID_SystemDeviceEnum, createObject<DeviceEnumerator, ICreateDevEnum>},
    {CLSID_PropertyPageHost, createHost},
    {CLSID_PageMain, createPage<CLSID_PageMain>},
    {CLSID_Page1, createPage<CLSID_Page1>},
    {CLSID_Page2, createPage<CLSID_Page2>},
    {CLSID_Page3, createPage<CLSID_Page3>},
    {CLSID_Page4, createPage<CLSID_Page4>},
};
static_assert(std::size(kClassTable) == kComponentClasses.size());

} // namespace

} // namespace kerris::encoder

extern "C" __attribute__((visibility("default"))) kerris::com::HRESULT
DllGetClassObject(const kerris::com::GUID* clsid, const kerris::com::GUID* iid, void** factory) {
    using namespace kerris;
    if (!factory)
        return com::E_POINTER;
    *factory = nullptr;
    if (!clsid || !iid)
        return com::E_INVALIDARG;
    for (const encoder::ClassEntry& entry : encoder::kClassTable) {
        if (!(entry.clsid == *clsid))
            continue;
        auto* made = new (std::nothrow) encoder::FunctionFactory(entry.create);
        if (!made)
            return com::E_OUTOFMEMORY;
        com::HRESULT hr = made->QueryInterface(*iid, factory);
        made->Release();
        return hr;
    }
    return com::CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) kerris::com::HRESULT DllCanUnloadNow() {
    return kerris::com::g_moduleReferences.load() == 0 ? kerris::com::S_OK : kerris::com::S_FALSE;
}
