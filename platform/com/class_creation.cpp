// Creation of objects by class identifier: the registration in HKEY_CLASSES_ROOT names the
// component library, the module loader finds it, its DllGetClassObject gives the factory.
// Component libraries stay loaded while any thread is prepared (or, without preparation, for
// the process's life): unloading one while its objects live would be a crash.
#include "platform/com/com_object.h"
#include "platform/module/module.h"
#include "platform/registry/registry.h"

#include <mutex>
#include <vector>

namespace {

using namespace kerris::com;

struct LoadedLibraries {
    std::mutex mutex;
    std::vector<kerris::module::Handle> held; // one reference each
    int preparedThreads = 0;
};

// Never destroyed: component objects may be released during static destruction.
LoadedLibraries& libraries() {
    static LoadedLibraries* l = new LoadedLibraries;
    return *l;
}

thread_local int t_prepared = 0;

// Keeps one reference of a loaded library; a second load of the same library gives its
// extra reference back.
void holdLibrary(kerris::module::Handle library) {
    LoadedLibraries& l = libraries();
    std::lock_guard lock(l.mutex);
    for (auto held : l.held) {
        if (held == library) {
            kerris::module::release(library);
            return;
        }
    }
    l.held.push_back(library);
}

// Unloads the libraries whose DllCanUnloadNow says no object of theirs is alive.
void unloadIdleLibraries(LoadedLibraries& l) {
    std::vector<kerris::module::Handle> kept;
    for (auto library : l.held) {
        auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(
            kerris::module::symbol(library, "DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK)
            kerris::module::release(library);
        else
            kept.push_back(library);
    }
    l.held = std::move(kept);
}

// The registered library of a class ("name.dll"); empty when the class is not registered.
std::string registeredLibrary(const GUID& clsid) {
    auto key = kerris::registry::Key::open(kerris::registry::Hive::ClassesRoot,
                                           "CLSID\\" + guidText(clsid) + "\\InprocServer32");
    if (!key)
        return {};
    return key->readString("").value_or("");
}

HRESULT createInstance(const GUID& clsid, const GUID& iid, void** object) {
    const std::string name = registeredLibrary(clsid);
    if (name.empty())
        return REGDB_E_CLASSNOTREG;
    kerris::module::Handle library = kerris::module::load(name);
    if (!library)
        return REGDB_E_CLASSNOTREG;
    auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(
        kerris::module::symbol(library, "DllGetClassObject"));
    if (!getClassObject) {
        // None of its code ran, so this load's reference may go again.
        kerris::module::release(library);
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    // Once its code has run, the library stays.
    holdLibrary(library);
    IClassFactory* rawFactory = nullptr;
    HRESULT hr =
        getClassObject(&clsid, &IClassFactory::kIid, reinterpret_cast<void**>(&rawFactory));
    if (failed(hr))
        return hr;
    if (!rawFactory)
        return E_FAIL;
    auto factory = ComPtr<IClassFactory>::adopt(rawFactory);
    void* created = nullptr;
    hr = factory->CreateInstance(nullptr, iid, &created);
    if (failed(hr))
        return hr;
    if (!created)
        return E_FAIL;
    *object = created;
    return S_OK;
}

} // namespace

// Prepares the calling thread: S_OK the first time, S_FALSE when it already was (each call
// wants its CoUninitialize).
extern "C" HRESULT CoInitialize(void*) {
    if (t_prepared++ > 0)
        return S_FALSE;
    LoadedLibraries& l = libraries();
    std::lock_guard lock(l.mutex);
    ++l.preparedThreads;
    return S_OK;
}

// Ends one CoInitialize of the calling thread. When the last prepared thread ends, the component
// libraries that report no live object (DllCanUnloadNow) are unloaded.
extern "C" void CoUninitialize(void) {
    if (t_prepared <= 0)
        return;
    if (--t_prepared > 0)
        return;
    LoadedLibraries& l = libraries();
    std::lock_guard lock(l.mutex);
    if (--l.preparedThreads == 0)
        unloadIdleLibraries(l);
}

// Creates an object of a registered class and hands out its `iid` interface with one reference.
// E_POINTER for a null object; E_INVALIDARG for a null clsid or iid; CLASS_E_NOAGGREGATION with
// an outer object; REGDB_E_CLASSNOTREG when the class is not registered for in-process use or
// its library cannot be loaded; CLASS_E_CLASSNOTAVAILABLE when the library lacks
// DllGetClassObject or does not serve the class; otherwise the factory's result (E_NOINTERFACE
// for an interface the object lacks). *object is written only on success.
extern "C" HRESULT CoCreateInstance(const GUID* clsid, void* outer, uint32_t context,
                                    const GUID* iid, void** object) {
    if (!object)
        return E_POINTER;
    if (!clsid || !iid)
        return E_INVALIDARG;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    try {
        return createInstance(*clsid, *iid, object);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}
