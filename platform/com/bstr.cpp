// BSTR: UTF-16 text with its byte length as a uint32_t before the first character and a zero
// char16_t after the last, allocated from the one heap every part of the process shares.
#include "platform/com/com.h"

#include <cstdlib>
#include <cstring>

namespace {

using kerris::com::BSTR;

constexpr size_t kPrefixBytes = sizeof(uint32_t);
// The byte length must fit the uint32_t prefix.
constexpr uint32_t kMaxCharacters = (UINT32_MAX - kPrefixBytes - sizeof(char16_t)) / 2;

uint32_t* prefixOf(BSTR text) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - kPrefixBytes);
}

} // namespace

// A new BSTR of `length` characters copied from `text`, zero-filled when text is null;
// null when out of memory or when the length does not fit the prefix.
extern "C" BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
    if (length > kMaxCharacters)
        return nullptr;
    const size_t bytes = size_t(length) * sizeof(char16_t);
    char* block = static_cast<char*>(std::malloc(kPrefixBytes + bytes + sizeof(char16_t)));
    if (!block)
        return nullptr;
    const uint32_t prefix = uint32_t(bytes);
    std::memcpy(block, &prefix, sizeof prefix);
    BSTR result = reinterpret_cast<BSTR>(block + kPrefixBytes);
    if (text)
        std::memcpy(result, text, bytes);
    else
        std::memset(result, 0, bytes);
    result[length] = u'\0';
    return result;
}

// A new BSTR of the zero-terminated text; null for null text or when out of memory.
extern "C" BSTR SysAllocString(const char16_t* text) {
    if (!text)
        return nullptr;
    size_t length = 0;
    while (text[length])
        ++length;
    if (length > kMaxCharacters)
        return nullptr;
    return SysAllocStringLen(text, uint32_t(length));
}

// Frees a BSTR made here; null is ignored.
extern "C" void SysFreeString(BSTR text) {
    if (text)
        std::free(prefixOf(text));
}

// The length in characters (embedded zeros included); 0 for null.
extern "C" uint32_t SysStringLen(BSTR text) {
    if (!text)
        return 0;
    uint32_t bytes;
    std::memcpy(&bytes, prefixOf(text), sizeof bytes);
    return bytes / sizeof(char16_t);
}
