// The component runtime shared by the programs and every component they create by class
// identifier: GUIDs, result codes, the IUnknown / IDispatch / IErrorInfo / IClassFactory
// tables, BSTR and VARIANT, and the exports of libkerriscom.so.
//
// An interface is a class of pure virtual functions without a virtual destructor, so g++ lays
// its function table out in declaration order: slot 0 is QueryInterface, 1 AddRef, 2 Release,
// and a dispatch interface continues with GetTypeInfoCount, GetTypeInfo, GetIDsOfNames and
// Invoke (3-6). Out-parameters are written only on success; an object handed out carries one
// reference for the caller.
#pragma once

#include <cstdint>
#include <cstring>

namespace kerris::com {

struct GUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(GUID) == 16);

inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

using HRESULT = int32_t;
using BSTR = char16_t*;
// A window handle: a number that libkerriscom hands out for a live QWidget and maps back.
using HWND = uint32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

inline constexpr bool succeeded(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool failed(HRESULT hr) {
    return hr < 0;
}

inline constexpr uint32_t CLSCTX_INPROC_SERVER = 1;

// VARIANT types used here.
inline constexpr uint16_t VT_EMPTY = 0;
inline constexpr uint16_t VT_I4 = 3;
inline constexpr uint16_t VT_BSTR = 8;
inline constexpr uint16_t VT_DISPATCH = 9;
inline constexpr uint16_t VT_UNKNOWN = 13;
inline constexpr uint16_t VT_I8 = 20;

class IUnknown {
public:
    // {00000000-0000-0000-C000-000000000046}
    static constexpr GUID kIid = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0; // 0
    virtual uint32_t AddRef() = 0;                                      // 1
    virtual uint32_t Release() = 0;                                     // 2
};

class IDispatch;

// 24 bytes, as on 64-bit Windows: the type, three reserved words, a 16-byte value union.
struct VARIANT {
    uint16_t vt;
    uint16_t reserved1;
    uint16_t reserved2;
    uint16_t reserved3;
    union {
        int32_t lVal;
        int64_t llVal;
        BSTR bstrVal;
        IDispatch* pdispVal;
        IUnknown* punkVal;
        uint8_t bytes[16];
    };
};
static_assert(sizeof(VARIANT) == 24);

class IDispatch : public IUnknown {
public:
    // {00020400-0000-0000-C000-000000000046}
    static constexpr GUID kIid = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;                             // 3
    virtual HRESULT GetTypeInfo(uint32_t index, uint32_t locale, void** typeInfo) = 0; // 4
    virtual HRESULT GetIDsOfNames(const GUID& iid, char16_t** names, uint32_t count,
                                  uint32_t locale,
                                  int32_t* ids) = 0; // 5
    virtual HRESULT Invoke(int32_t id, const GUID& iid, uint32_t locale, uint16_t flags,
                           void* params, VARIANT* result, void* exception,
                           uint32_t* argumentError) = 0; // 6
};

class IErrorInfo : public IUnknown {
public:
    // {1CF2B120-547D-101B-8E65-08002B2BF9B9}
    static constexpr GUID kIid = {
        0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xF9, 0xB9}};
    virtual HRESULT GetGUID(GUID* guid) = 0;               // 3
    virtual HRESULT GetSource(BSTR* source) = 0;           // 4
    virtual HRESULT GetDescription(BSTR* description) = 0; // 5
    virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;       // 6
    virtual HRESULT GetHelpContext(uint32_t* context) = 0; // 7
};

class IClassFactory : public IUnknown {
public:
    // {00000001-0000-0000-C000-000000000046}
    static constexpr GUID kIid = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) = 0; // 3
    virtual HRESULT LockServer(int32_t lock) = 0;                                        // 4
};

} // namespace kerris::com

// The exports of libkerriscom.so. Every program and component of a process shares them, so one
// string allocator, one window-handle table and one per-thread error slot serve them all.
extern "C" {
// Prepares the calling thread; S_OK (S_FALSE when it was already prepared).
__attribute__((visibility("default"))) kerris::com::HRESULT CoInitialize(void* reserved);
__attribute__((visibility("default"))) void CoUninitialize(void);
// Creates an object of a registered class: HKEY_CLASSES_ROOT "CLSID\{...}\InprocServer32"
// names the component library ("name.dll"), loaded through the module loader; its
// DllGetClassObject gives the factory. Context must include CLSCTX_INPROC_SERVER.
// REGDB_E_CLASSNOTREG when the class is not registered (for that context) or its library
// cannot be loaded, CLASS_E_CLASSNOTAVAILABLE when the library lacks DllGetClassObject or does
// not serve the class, CLASS_E_NOAGGREGATION for an outer object, E_POINTER for a null object,
// E_INVALIDARG for a null clsid or iid, else the factory's result (E_NOINTERFACE ...).
// *object is written only on success. Component libraries stay loaded while any thread is
// prepared (CoInitialize) and are unloaded, where DllCanUnloadNow allows, by the last
// CoUninitialize; without CoInitialize they stay for the process's life.
__attribute__((visibility("default"))) kerris::com::HRESULT
CoCreateInstance(const kerris::com::GUID* clsid, void* outer, uint32_t context,
                 const kerris::com::GUID* iid, void** object);
// BSTR: UTF-16 text ending in a zero char16_t, its length in bytes as a uint32_t just before
// the first character (embedded zeros count). SysAllocStringLen(nullptr, n) gives n zero
// characters; SysAllocString(nullptr) gives null. Both give null when out of memory or when
// the byte length would not fit the uint32_t.
__attribute__((visibility("default"))) kerris::com::BSTR SysAllocString(const char16_t* text);
__attribute__((visibility("default"))) kerris::com::BSTR SysAllocStringLen(const char16_t* text,
                                                                           uint32_t length);
__attribute__((visibility("default"))) void SysFreeString(kerris::com::BSTR text);
// Length in characters; 0 for null.
__attribute__((visibility("default"))) uint32_t SysStringLen(kerris::com::BSTR text);
// The calling thread's error information: SetErrorInfo replaces it (null clears it),
// GetErrorInfo takes it (the slot is empty afterwards); S_FALSE and a null out when there is none,
// E_POINTER for a null out. A thread's information is released when the thread ends.
__attribute__((visibility("default"))) kerris::com::HRESULT
SetErrorInfo(uint32_t reserved, kerris::com::IErrorInfo* info);
__attribute__((visibility("default"))) kerris::com::HRESULT
GetErrorInfo(uint32_t reserved, kerris::com::IErrorInfo** info);
// Sets the calling thread's error information from UTF-8 texts (either may be null: empty;
// invalid UTF-8 becomes U+FFFD; a null iid is the zero GUID). E_OUTOFMEMORY clears the slot.
__attribute__((visibility("default"))) kerris::com::HRESULT
KerrisSetErrorDescription(const kerris::com::GUID* iid, const char* source,
                          const char* description);
// Window handles: the handle of a live QWidget (the same number for the widget's whole life,
// never reused while the process runs), and the widget of a handle (null once it is gone or
// for an unknown handle). widget is a QWidget*; 0 for null.
__attribute__((visibility("default"))) kerris::com::HWND KerrisWindowHandle(void* widget);
__attribute__((visibility("default"))) void* KerrisWindowFromHandle(kerris::com::HWND handle);
}

// What every component library exports.
using DllGetClassObjectFunction = kerris::com::HRESULT (*)(const kerris::com::GUID* clsid,
                                                           const kerris::com::GUID* iid,
                                                           void** factory);
using DllCanUnloadNowFunction = kerris::com::HRESULT (*)();
