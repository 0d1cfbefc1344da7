// Reading a Simple MAPI message record into a composition for the hand-off, with every field
// checked before use.
#pragma once

#include "platform/mail/hand_off.h"
#include "platform/mail/mapi.h"

namespace kerris::mail {

// The most attachments and recipients one message may carry.
inline constexpr ULONG kMaxFiles = 256;
inline constexpr ULONG kMaxRecipients = 1024;

// Fills *OUT from MESSAGE. SUCCESS_SUCCESS, or: MAPI_E_INVALID_MESSAGE (files counted but no
// list), MAPI_E_TOO_MANY_FILES, MAPI_E_ATTACHMENT_NOT_FOUND (no path, or a path that is not an
// existing regular file), MAPI_E_ATTACHMENT_OPEN_FAILURE (a file that cannot be read),
// MAPI_E_INVALID_RECIPS (recipients counted but no list, or an address that is no address),
// MAPI_E_TOO_MANY_RECIPIENTS, MAPI_E_BAD_RECIPTYPE (a class other than To, Cc, Bcc),
// MAPI_E_UNKNOWN_RECIPIENT (neither address nor name). *OUT is written only on success.
// Relative attachment paths are taken from the current folder and handed on absolute.
ULONG readMessage(const MapiMessage& message, Composition* out);

} // namespace kerris::mail
