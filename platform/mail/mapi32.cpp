// "MAPI32.DLL": the twelve Simple MAPI entry points. Logon, logoff and sending with the
// compose dialog are done; the message store and address book calls are not, and say so.
// Each entry point is a noexcept shell around the C++ core; no exception leaves it.
#include "platform/mail/hand_off.h"
#include "platform/mail/mapi.h"
#include "platform/mail/mapi_message.h"

#include <mutex>
#include <new>
#include <set>

#define MAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Sessions hold nothing but their number: the mail client keeps its own state.
constexpr size_t kMaxSessions = 4096;

std::mutex& sessionLock() {
    static std::mutex lock;
    return lock;
}
std::set<LHANDLE>& sessions() {
    static std::set<LHANDLE> open;
    return open;
}
LHANDLE g_nextSession = 1;

// Session 0 is the temporary session a caller without a logon gets.
bool isSession(LHANDLE session) {
    if (session == 0)
        return true;
    std::lock_guard<std::mutex> guard(sessionLock());
    return sessions().count(session) != 0;
}

} // namespace

// Opens a session and writes its handle to *lplhSession. The profile, password and flags are
// the mail client's business and are not checked. SUCCESS_SUCCESS; MAPI_E_FAILURE when
// lplhSession is null; MAPI_E_TOO_MANY_SESSIONS; MAPI_E_INSUFFICIENT_MEMORY.
MAPI_EXPORT ULONG MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE lplhSession) noexcept {
    if (!lplhSession)
        return MAPI_E_FAILURE;
    try {
        std::lock_guard<std::mutex> guard(sessionLock());
        if (sessions().size() >= kMaxSessions)
            return MAPI_E_TOO_MANY_SESSIONS;
        while (g_nextSession == 0 || sessions().count(g_nextSession))
            ++g_nextSession;
        LHANDLE session = g_nextSession++;
        sessions().insert(session);
        *lplhSession = session;
        return SUCCESS_SUCCESS;
    } catch (const std::bad_alloc&) {
        return MAPI_E_INSUFFICIENT_MEMORY;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

// Ends a session from MAPILogon. SUCCESS_SUCCESS; MAPI_E_INVALID_SESSION for any other handle.
MAPI_EXPORT ULONG MAPILogoff(LHANDLE lhSession, ULONG_PTR, FLAGS, ULONG) noexcept {
    std::lock_guard<std::mutex> guard(sessionLock());
    return sessions().erase(lhSession) ? SUCCESS_SUCCESS : MAPI_E_INVALID_SESSION;
}

// Opens the desktop mail client's compose window with the message's attachments, recipients,
// subject and text (MAPI_DIALOG); the user sends it from there. lhSession is a handle from
// MAPILogon or 0. SUCCESS_SUCCESS when a hand-off started the compose step;
// MAPI_E_INVALID_SESSION; MAPI_E_INVALID_MESSAGE for a null message; MAPI_E_NOT_SUPPORTED
// without MAPI_DIALOG (a message cannot go out unseen); the statuses of a message that does
// not read (see readMessage); MAPI_E_FAILURE when no hand-off works on this desktop.
MAPI_EXPORT ULONG MAPISendMail(LHANDLE lhSession, ULONG_PTR, lpMapiMessage lpMessage, FLAGS flFlags,
                               ULONG) noexcept {
    try {
        if (!isSession(lhSession))
            return MAPI_E_INVALID_SESSION;
        if (!lpMessage)
            return MAPI_E_INVALID_MESSAGE;
        if (!(flFlags & MAPI_DIALOG))
            return MAPI_E_NOT_SUPPORTED;
        kerris::mail::Composition composition;
        if (ULONG status = kerris::mail::readMessage(*lpMessage, &composition);
            status != SUCCESS_SUCCESS)
            return status;
        if (kerris::mail::compose(kerris::mail::systemDesktop(), composition) ==
            kerris::mail::HandOff::None)
            return MAPI_E_FAILURE;
        return SUCCESS_SUCCESS;
    } catch (const std::bad_alloc&) {
        return MAPI_E_INSUFFICIENT_MEMORY;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

// The calls below belong to a message store or an address book, which the desktop's mail
// client keeps to itself: each answers MAPI_E_NOT_SUPPORTED and writes nothing.

MAPI_EXPORT ULONG MAPISendDocuments(ULONG_PTR, LPSTR, LPSTR, LPSTR, ULONG) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

MAPI_EXPORT ULONG MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

MAPI_EXPORT ULONG MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage*) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

MAPI_EXPORT ULONG MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

MAPI_EXPORT ULONG MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

// Nothing this library returns was allocated for the caller, so there is nothing to free.
MAPI_EXPORT ULONG MAPIFreeBuffer(LPVOID) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

MAPI_EXPORT ULONG MAPIAddress(LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc,
                              FLAGS, ULONG, LPULONG, lpMapiRecipDesc*) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

MAPI_EXPORT ULONG MAPIDetails(LHANDLE, ULONG_PTR, lpMapiRecipDesc, FLAGS, ULONG) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}

MAPI_EXPORT ULONG MAPIResolveName(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG,
                                  lpMapiRecipDesc*) noexcept {
    return MAPI_E_NOT_SUPPORTED;
}
