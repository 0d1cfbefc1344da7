// The message record as the hand-off sees it.
#include "platform/mail/mapi_message.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kerris::mail {

namespace {

std::string text(const char* value) {
    return value ? std::string(value) : std::string();
}

ULONG readAttachment(const MapiFileDesc& file, std::string* path) {
    if (!file.lpszPathName || !*file.lpszPathName)
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file.lpszPathName, error);
    if (error)
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    struct stat info {};
    if (stat(absolute.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    if (access(absolute.c_str(), R_OK) != 0)
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    *path = absolute.lexically_normal().string();
    return SUCCESS_SUCCESS;
}

// The address of a recipient: its address without the "SMTP:" type, else its name (which the
// mail client resolves).
ULONG readRecipient(const MapiRecipDesc& recipient, std::string* address) {
    if (recipient.ulRecipClass != MAPI_TO && recipient.ulRecipClass != MAPI_CC &&
        recipient.ulRecipClass != MAPI_BCC)
        return MAPI_E_BAD_RECIPTYPE;
    std::string value = text(recipient.lpszAddress);
    if (value.size() >= 5 && std::equal(value.begin(), value.begin() + 5, "SMTP:",
                                        [](char a, char b) { return (a & ~0x20) == (b & ~0x20); }))
        value.erase(0, 5);
    if (value.empty())
        value = text(recipient.lpszName);
    if (value.empty())
        return MAPI_E_UNKNOWN_RECIPIENT;
    // A leading "-" would read as an option to the programs the hand-off starts.
    if (value[0] == '-')
        return MAPI_E_INVALID_RECIPS;
    for (unsigned char c : value)
        if (c < 0x20 || c == 0x7F)
            return MAPI_E_INVALID_RECIPS;
    *address = value;
    return SUCCESS_SUCCESS;
}

} // namespace

ULONG readMessage(const MapiMessage& message, Composition* out) {
    Composition composition;
    if (message.nFileCount > 0 && !message.lpFiles)
        return MAPI_E_INVALID_MESSAGE;
    if (message.nFileCount > kMaxFiles)
        return MAPI_E_TOO_MANY_FILES;
    if (message.nRecipCount > 0 && !message.lpRecips)
        return MAPI_E_INVALID_RECIPS;
    if (message.nRecipCount > kMaxRecipients)
        return MAPI_E_TOO_MANY_RECIPIENTS;
    for (ULONG i = 0; i < message.nFileCount; ++i) {
        std::string path;
        if (ULONG status = readAttachment(message.lpFiles[i], &path); status != SUCCESS_SUCCESS)
            return status;
        composition.attachments.push_back(path);
    }
    for (ULONG i = 0; i < message.nRecipCount; ++i) {
        std::string address;
        if (ULONG status = readRecipient(message.lpRecips[i], &address); status != SUCCESS_SUCCESS)
            return status;
        const ULONG recipientClass = message.lpRecips[i].ulRecipClass;
        (recipientClass == MAPI_TO   ? composition.to
         : recipientClass == MAPI_CC ? composition.cc
                                     : composition.bcc)
            .push_back(address);
    }
    composition.subject = text(message.lpszSubject);
    composition.body = text(message.lpszNoteText);
    *out = std::move(composition);
    return SUCCESS_SUCCESS;
}

} // namespace kerris::mail
