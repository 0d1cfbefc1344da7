// A fake "MAPI32.DLL" for the clip mail program's tests: the twelve entry points, recording
// what they were called with; the record is reached through FakeMapi_Log.
#include "tests/mail/fake_mapi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
FakeMapiLog g_log;
}

FAKE_EXPORT FakeMapiLog* FakeMapi_Log() {
    return &g_log;
}

FAKE_EXPORT ULONG MAPILogon(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword,
                            FLAGS flFlags, ULONG ulReserved, LPLHANDLE lplhSession) noexcept {
    ++g_log.logons;
    g_log.logonParent = ulUIParam;
    g_log.logonProfileNull = lpszProfileName == nullptr;
    g_log.logonPasswordNull = lpszPassword == nullptr;
    g_log.logonFlags = flFlags;
    g_log.logonReserved = ulReserved;
    if (g_log.sessionToGive && lplhSession)
        *lplhSession = g_log.sessionToGive;
    return g_log.logonStatus;
}

FAKE_EXPORT ULONG MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage,
                               FLAGS flFlags, ULONG ulReserved) noexcept {
    ++g_log.sends;
    g_log.sendSession = lhSession;
    g_log.sendParent = ulUIParam;
    g_log.sendFlags = flFlags;
    g_log.sendReserved = ulReserved;
    g_log.messageNull = lpMessage == nullptr;
    if (lpMessage) {
        g_log.message = *lpMessage;
        g_log.file =
            lpMessage->nFileCount && lpMessage->lpFiles ? lpMessage->lpFiles[0] : MapiFileDesc{};
        g_log.filePath = g_log.file.lpszPathName ? g_log.file.lpszPathName : "";
    }
    return g_log.sendStatus;
}

#define FAKE_OTHER(name, ...)                                                                      \
    FAKE_EXPORT ULONG name(__VA_ARGS__) noexcept {                                                 \
        ++g_log.otherCalls;                                                                        \
        return MAPI_E_NOT_SUPPORTED;                                                               \
    }

FAKE_OTHER(MAPILogoff, LHANDLE, ULONG_PTR, FLAGS, ULONG)
FAKE_OTHER(MAPISendDocuments, ULONG_PTR, LPSTR, LPSTR, LPSTR, ULONG)
FAKE_OTHER(MAPIFindNext, LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR)
FAKE_OTHER(MAPIReadMail, LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage*)
FAKE_OTHER(MAPISaveMail, LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR)
FAKE_OTHER(MAPIDeleteMail, LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG)
FAKE_OTHER(MAPIFreeBuffer, LPVOID)
FAKE_OTHER(MAPIAddress, LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc, FLAGS,
           ULONG, LPULONG, lpMapiRecipDesc*)
FAKE_OTHER(MAPIDetails, LHANDLE, ULONG_PTR, lpMapiRecipDesc, FLAGS, ULONG)
FAKE_OTHER(MAPIResolveName, LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiRecipDesc*)
