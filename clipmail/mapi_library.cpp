// The clip mail program's use of the mail library.
#include "clipmail/mapi_library.h"

#include "clipmail/destination_folder.h"
#include "platform/mail/messaging_subsystem.h"

#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace kerris::clipmail {

namespace {

constexpr const char* kLibraryName = "MAPI32.DLL";
// The value is read into a buffer of this size.
constexpr size_t kValueBufferSize = 8;

enum Entry { kLogon = 0, kSendMail = 2 };

} // namespace

bool IsMapiInstalled() {
    // A missing key or value reads as the empty text.
    return readRegistryText(registry::Hive::LocalMachine, mail::kMessagingSubsystemKey,
                            mail::kMapiValue, "", kValueBufferSize) == "1";
}

MapiLibrary::~MapiLibrary() {
    Free();
}

bool MapiLibrary::Load() {
    if (!m_module) {
        if (!IsMapiInstalled())
            return false;
        // Library names are case-blind where the name comes from; its file is "libmapi32.so".
        std::string name = kLibraryName;
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        m_module = module::load(name);
        if (!m_module)
            return false;
    }
    for (size_t i = 0; i < kEntryNames.size(); ++i) {
        m_entries[i] = module::symbol(m_module, kEntryNames[i]);
        if (!m_entries[i])
            break;
    }
    return true;
}

size_t MapiLibrary::resolvedCount() const {
    size_t count = 0;
    for (void* entry : m_entries)
        count += entry != nullptr;
    return count;
}

void MapiLibrary::Logon(uintptr_t parent) {
    if (!m_entries[kLogon])
        return;
    auto logon = reinterpret_cast<LPMAPILOGON>(m_entries[kLogon]);
    logon(parent, nullptr, nullptr, MAPI_LOGON_UI, 0, &m_session);
}

bool MapiLibrary::SendClipByMail(const std::string& copyPath, uintptr_t parent) {
    struct stat info {};
    if (!m_module || copyPath.empty() || stat(copyPath.c_str(), &info) != 0)
        return false;
    // The record points into a buffer of our own, as the caller's string may not outlive the call.
    std::vector<char> path(copyPath.begin(), copyPath.end());
    path.push_back('\0');
    MapiFileDesc file{};
    file.nPosition = MAPI_POSITION_NONE;
    file.lpszPathName = path.data();
    MapiMessage message{};
    message.nFileCount = 1;
    message.lpFiles = &file;
    if (m_entries[kSendMail]) {
        auto send = reinterpret_cast<LPMAPISENDMAIL>(m_entries[kSendMail]);
        send(m_session, parent, &message, MAPI_DIALOG, 0);
    }
    return true;
}

void MapiLibrary::Free() {
    if (m_module)
        module::release(m_module);
    m_module = nullptr;
    m_entries.fill(nullptr);
}

} // namespace kerris::clipmail
