// How the clip mail program meets the component runtime: objects made by class identifier,
// the thread's error information taken or dropped, program texts as BSTRs.
#pragma once

#include "platform/com/com_object.h"

#include <optional>
#include <string>

namespace kerris::clipmail {

// Creates an in-process object of class clsid asking for interface T; empty on failure
// (*result, when given, receives the creation's result either way).
template <class T>
com::ComPtr<T> createObject(const com::GUID& clsid, com::HRESULT* result = nullptr) {
    com::ComPtr<T> object;
    const com::HRESULT hr =
        CoCreateInstance(&clsid, nullptr, com::CLSCTX_INPROC_SERVER, &T::kIid, object.putVoid());
    if (result)
        *result = hr;
    if (com::failed(hr))
        object.reset();
    return object;
}

// Takes the calling thread's error information and returns its description; nullopt when the
// thread holds none (or it has no description).
std::optional<std::string> takeErrorDescription();

// Drops the thread's error information after a call whose failure is not reported, so that a
// later report never shows a description that belongs to another call.
void discardErrorInfo();

} // namespace kerris::clipmail
