// MapiLibrary: the mail library "MAPI32.DLL" as the clip mail program uses it: loaded at
// start-up when the registry says a messaging subsystem is installed, logged on once, and
// asked to open the mail client's compose window with a copy of the clip attached.
#pragma once

#include "platform/mail/mapi.h"
#include "platform/module/module.h"

#include <array>
#include <cstdint>
#include <string>

namespace kerris::clipmail {

// True when HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Windows Messaging Subsystem" holds "MAPI"
// and its text, read into an 8-byte buffer, is exactly "1".
bool IsMapiInstalled();

class MapiLibrary {
public:
    // The entry points, in the order they are resolved.
    static constexpr std::array<const char*, 12> kEntryNames = {
        "MAPILogon",      "MAPILogoff",   "MAPISendMail", "MAPISendDocuments",
        "MAPIFindNext",   "MAPIReadMail", "MAPISaveMail", "MAPIDeleteMail",
        "MAPIFreeBuffer", "MAPIAddress",  "MAPIDetails",  "MAPIResolveName"};

    MapiLibrary() = default;
    ~MapiLibrary();
    MapiLibrary(const MapiLibrary&) = delete;
    MapiLibrary& operator=(const MapiLibrary&) = delete;

    // When no module is loaded yet: requires IsMapiInstalled and loads "MAPI32.DLL", then
    // resolves the entry points by name in table order up to the first missing one. True as
    // soon as the module is loaded, however many names were found.
    bool Load();
    // Logs on with PARENT as the user-interface parent, no profile or password, MAPI_LOGON_UI;
    // the session handle it writes is kept. The result is not examined.
    void Logon(uintptr_t parent);
    // Hands the clip copy at COPYPATH to MAPISendMail with MAPI_DIALOG: one attachment, not
    // placed in the text, nothing else in the message. False only when the copy is not there
    // (or no library is loaded); the send's own result is not examined.
    bool SendClipByMail(const std::string& copyPath, uintptr_t parent);
    // Unloads the module when one is loaded. No logoff is made.
    void Free();

    bool isLoaded() const { return m_module != nullptr; }
    LHANDLE session() const { return m_session; }
    // How many entry points were resolved.
    size_t resolvedCount() const;

private:
    module::Handle m_module = nullptr;
    LHANDLE m_session = 0;
    std::array<void*, kEntryNames.size()> m_entries{};
};

} // namespace kerris::clipmail
