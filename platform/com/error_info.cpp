// The calling thread's error information: one slot per thread, holding a reference-counted
// IErrorInfo that the failing call left for its caller.
#include "platform/com/com_object.h"

#include <string>

namespace {

using namespace kerris::com;

thread_local ComPtr<IErrorInfo> t_errorInfo;

// What KerrisSetErrorDescription leaves: the interface that failed, a source and a description.
class ErrorInfo final : public ComObject<IErrorInfo> {
public:
    ErrorInfo(const GUID& iid, std::u16string source, std::u16string description)
        : m_iid(iid), m_source(std::move(source)), m_description(std::move(description)) {}

    HRESULT GetGUID(GUID* guid) override {
        if (!guid)
            return E_POINTER;
        *guid = m_iid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return copyOut(m_source, source); }
    HRESULT GetDescription(BSTR* description) override {
        return copyOut(m_description, description);
    }
    HRESULT GetHelpFile(BSTR* helpFile) override { return copyOut(std::u16string(), helpFile); }
    HRESULT GetHelpContext(uint32_t* context) override {
        if (!context)
            return E_POINTER;
        *context = 0;
        return S_OK;
    }

private:
    static HRESULT copyOut(const std::u16string& text, BSTR* out) {
        if (!out)
            return E_POINTER;
        BSTR copy = SysAllocStringLen(text.data(), uint32_t(text.size()));
        if (!copy)
            return E_OUTOFMEMORY;
        *out = copy;
        return S_OK;
    }

    GUID m_iid;
    std::u16string m_source;
    std::u16string m_description;
};

} // namespace

// Replaces the calling thread's error information (null clears it); the slot takes its own
// reference. Always S_OK.
extern "C" HRESULT SetErrorInfo(uint32_t, IErrorInfo* info) {
    t_errorInfo = ComPtr<IErrorInfo>::share(info);
    return S_OK;
}

// Hands the calling thread's error information to the caller (with the slot's reference) and
// empties the slot. S_FALSE with a null *info when there is none; E_POINTER for a null info.
extern "C" HRESULT GetErrorInfo(uint32_t, IErrorInfo** info) {
    if (!info)
        return E_POINTER;
    *info = t_errorInfo.detach();
    return *info ? S_OK : S_FALSE;
}

// Makes error information of the UTF-8 texts (null reads as empty; invalid UTF-8 becomes
// U+FFFD) and sets it for the calling thread. E_OUTOFMEMORY when it cannot be made (the slot
// is then cleared, so no older description is mistaken for this failure's).
extern "C" HRESULT KerrisSetErrorDescription(const GUID* iid, const char* source,
                                             const char* description) {
    try {
        auto* info = new ErrorInfo(iid ? *iid : GUID{}, utf16FromUtf8(source ? source : ""),
                                   utf16FromUtf8(description ? description : ""));
        t_errorInfo = ComPtr<IErrorInfo>::adopt(info);
        return S_OK;
    } catch (...) {
        t_errorInfo.reset();
        return E_OUTOFMEMORY;
    }
}
