// C++ helpers over the component runtime: owning pointers, BSTR texts, GUID texts, and
// ComObject, which gives a class its QueryInterface, AddRef and Release so that no component
// writes them by hand.
//
// An interface names its identifier as `static constexpr GUID kIid` and, when it extends
// another interface than IUnknown or IDispatch, that one as `using Parent = ...;`, so a query
// for the parent's identifier finds the same table.
#pragma once

#include "platform/com/com.h"

#include <atomic>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace kerris::com {

// Counts the live objects and factory locks of one component library, for DllCanUnloadNow.
// Each library has its own copy (the symbols are hidden).
inline std::atomic<long> g_moduleReferences{0};

// An owning interface pointer: releases on destruction, AddRef on copy.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already holds.
    static ComPtr adopt(T* p) {
        ComPtr r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own.
    static ComPtr share(T* p) {
        if (p)
            p->AddRef();
        return adopt(p);
    }
    ComPtr(const ComPtr& o) : m_p(o.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what it held and gives the slot to write into.
    T** put() {
        reset();
        return &m_p;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    // Gives the reference away (for an out-parameter of the caller).
    T* detach() { return std::exchange(m_p, nullptr); }

    // Queries another interface of the same object; empty when it has none.
    template <class U> ComPtr<U> as() const {
        ComPtr<U> r;
        if (m_p)
            m_p->QueryInterface(U::kIid, r.putVoid());
        return r;
    }

private:
    T* m_p = nullptr;
};

// An owning BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text)
        : m_s(SysAllocStringLen(text.data(), uint32_t(text.size()))) {
        if (!m_s)
            throw std::bad_alloc();
    }
    // From UTF-8 text.
    static Bstr fromUtf8(std::string_view text);
    static Bstr adopt(BSTR s) {
        Bstr b;
        b.m_s = s;
        return b;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : m_s(std::exchange(o.m_s, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        std::swap(m_s, o.m_s);
        return *this;
    }
    ~Bstr() { SysFreeString(m_s); }

    BSTR get() const { return m_s; }
    BSTR* put() {
        SysFreeString(std::exchange(m_s, nullptr));
        return &m_s;
    }
    BSTR detach() { return std::exchange(m_s, nullptr); }
    std::u16string_view view() const {
        return m_s ? std::u16string_view(m_s, SysStringLen(m_s)) : std::u16string_view();
    }
    std::string utf8() const;

private:
    BSTR m_s = nullptr;
};

// UTF-8 <-> UTF-16; invalid sequences become U+FFFD.
std::u16string utf16FromUtf8(std::string_view text);
std::string utf8FromUtf16(std::u16string_view text);

inline Bstr Bstr::fromUtf8(std::string_view text) {
    return Bstr(utf16FromUtf8(text));
}
inline std::string Bstr::utf8() const {
    return utf8FromUtf16(view());
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hex, as the registry keys name classes.
std::string guidText(const GUID& guid);
// Reads that form (either case, braces required); nullopt for anything else.
std::optional<GUID> parseGuid(std::string_view text);

// Sets the calling thread's error information and returns hr, for `return fail(...)`.
inline HRESULT fail(HRESULT hr, const GUID& iid, std::string_view description) {
    std::string d(description);
    KerrisSetErrorDescription(&iid, nullptr, d.c_str());
    return hr;
}

namespace detail {
template <class I> bool implements(const GUID& iid) {
    if (iid == I::kIid)
        return true;
    if constexpr (requires { typename I::Parent; })
        return implements<typename I::Parent>(iid);
    else
        return false;
}
template <class I> constexpr bool isDispatch = std::is_base_of_v<IDispatch, I>;
} // namespace detail

// Implements IUnknown (and answers E_NOTIMPL for IDispatch's four slots) for a class that
// derives from the interfaces it lists. Objects start with one reference, for their creator.
template <class... Interfaces> class ComObject : public Interfaces... {
public:
    ComObject() { ++g_moduleReferences; }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(const GUID& iid, void** object) override {
        if (!object)
            return E_POINTER;
        void* found = nullptr;
        if (iid == IUnknown::kIid)
            found = static_cast<IUnknown*>(static_cast<First*>(this));
        else if (iid == IDispatch::kIid)
            (void)((detail::isDispatch<Interfaces> &&
                    (found = static_cast<IDispatch*>(dispatchOf<Interfaces>()))) ||
                   ...);
        else
            (void)((detail::implements<Interfaces>(iid) &&
                    (found = static_cast<Interfaces*>(this))) ||
                   ...);
        if (!found) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = found;
        return S_OK;
    }
    uint32_t AddRef() override { return ++m_references; }
    uint32_t Release() override {
        uint32_t left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    // IDispatch: nothing here is called by name.
    HRESULT GetTypeInfoCount(uint32_t*) { return E_NOTIMPL; }
    HRESULT GetTypeInfo(uint32_t, uint32_t, void**) { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(const GUID&, char16_t**, uint32_t, uint32_t, int32_t*) {
        return E_NOTIMPL;
    }
    HRESULT Invoke(int32_t, const GUID&, uint32_t, uint16_t, void*, VARIANT*, void*, uint32_t*) {
        return E_NOTIMPL;
    }

protected:
    virtual ~ComObject() { --g_moduleReferences; }

private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    template <class I> void* dispatchOf() {
        if constexpr (detail::isDispatch<I>)
            return static_cast<IDispatch*>(static_cast<I*>(this));
        else
            return nullptr;
    }
    std::atomic<uint32_t> m_references{1};
};

// A factory for a class T default-constructed; no aggregation.
template <class T> class ClassFactory final : public ComObject<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        T* created = new (std::nothrow) T();
        if (!created)
            return E_OUTOFMEMORY;
        HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }
    HRESULT LockServer(int32_t lock) override {
        if (lock)
            ++g_moduleReferences;
        else
            --g_moduleReferences;
        return S_OK;
    }
};

} // namespace kerris::com
