// The thread's error information, as the clip mail program reads it.
#include "clipmail/com_calls.h"

namespace kerris::clipmail {

std::optional<std::string> takeErrorDescription() {
    com::IErrorInfo* raw = nullptr;
    if (GetErrorInfo(0, &raw) != com::S_OK || !raw)
        return std::nullopt;
    com::ComPtr<com::IErrorInfo> info = com::ComPtr<com::IErrorInfo>::adopt(raw);
    com::Bstr description;
    if (com::failed(info->GetDescription(description.put())) || !description.get())
        return std::nullopt;
    return description.utf8();
}

void discardErrorInfo() {
    SetErrorInfo(0, nullptr);
}

} // namespace kerris::clipmail
