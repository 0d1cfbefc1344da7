// What every slot of the encoder's objects shares: the guard that keeps exceptions from
// crossing the function tables, failures that always leave error information, and the
// conversions between BSTR out-parameters and our UTF-8 texts.
#pragma once

#include "platform/encoder/names.h"

#include "platform/com/com_object.h"

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace kerris::encoder {

// Runs a slot's body: a failure nobody caught becomes an HRESULT with error information,
// never an exception through a function table.
template <class Body> com::HRESULT guardedSlot(const GUID& iid, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        return com::fail(com::E_OUTOFMEMORY, iid, "There is not enough memory for the encoder");
    } catch (...) {
        return com::fail(com::E_FAIL, iid, "The encoder met an unexpected failure");
    }
}

// E_POINTER for a missing out-parameter, with error information as every failure has.
inline com::HRESULT missingResult(const GUID& iid) {
    return com::fail(com::E_POINTER, iid, "The call was given no place for its result");
}

// The text of a BSTR argument in UTF-8 (null is the empty text).
inline std::string textOf(BSTR text) {
    return text ? com::utf8FromUtf16(std::u16string_view(text, SysStringLen(text))) : std::string();
}

// Writes a new BSTR of text to *out; E_OUTOFMEMORY (with error information) when it cannot.
inline com::HRESULT putText(const GUID& iid, BSTR* out, std::string_view text) {
    const std::u16string wide = com::utf16FromUtf8(text);
    BSTR made = SysAllocStringLen(wide.data(), uint32_t(wide.size()));
    if (!made)
        return com::fail(com::E_OUTOFMEMORY, iid, "There is not enough memory for the encoder");
    *out = made;
    return com::S_OK;
}

// Hands out a new reference of object as interface I.
template <class I, class T> I* handOut(const com::ComPtr<T>& object) {
    I* p = object.get();
    p->AddRef();
    return p;
}

} // namespace kerris::encoder
