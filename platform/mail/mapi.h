/* Simple MAPI as "MAPI32.DLL" exports it: the records, status codes, flags and the twelve entry
 * points. The records keep their Windows layout on x86-64 (natural alignment, ULONG 32 bits,
 * pointers and ULONG_PTR 64 bits), so a caller written against the Windows records works as is. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define MAPI_NOTHROW noexcept
extern "C" {
#else
#define MAPI_NOTHROW
#endif

typedef uint32_t ULONG;
typedef uint32_t FLAGS;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR LHANDLE;
typedef LHANDLE* LPLHANDLE;
typedef ULONG* LPULONG;
typedef char* LPSTR;
typedef void* LPVOID;

/* One recipient (or the originator). */
typedef struct MapiRecipDesc {
    ULONG ulReserved;   /* 0 */
    ULONG ulRecipClass; /* MAPI_ORIG, MAPI_TO, MAPI_CC or MAPI_BCC */
    LPSTR lpszName;     /* display name */
    LPSTR lpszAddress;  /* "SMTP:user@host" or a bare address; null when only a name is known */
    ULONG ulEIDSize;    /* bytes at lpEntryID */
    LPVOID lpEntryID;   /* the messaging system's own identifier */
} MapiRecipDesc, *lpMapiRecipDesc;

/* One attachment. */
typedef struct MapiFileDesc {
    ULONG ulReserved;   /* 0 */
    ULONG flFlags;      /* MAPI_OLE, MAPI_OLE_STATIC or 0 for a data file */
    ULONG nPosition;    /* character position in the note text; 0xFFFFFFFF: not placed */
    LPSTR lpszPathName; /* the file to attach */
    LPSTR lpszFileName; /* its name for the recipient; null: the path's own name */
    LPVOID lpFileType;  /* a MapiFileTagExt or null */
} MapiFileDesc, *lpMapiFileDesc;

typedef struct MapiMessage {
    ULONG ulReserved;         /* 0 */
    LPSTR lpszSubject;        /* null or empty: no subject */
    LPSTR lpszNoteText;       /* null or empty: no text */
    LPSTR lpszMessageType;    /* null: an interpersonal message */
    LPSTR lpszDateReceived;   /* "YYYY/MM/DD HH:MM" */
    LPSTR lpszConversationID; /* null */
    FLAGS flFlags;            /* MAPI_UNREAD, MAPI_RECEIPT_REQUESTED, MAPI_SENT */
    lpMapiRecipDesc lpOriginator;
    ULONG nRecipCount;
    lpMapiRecipDesc lpRecips;
    ULONG nFileCount;
    lpMapiFileDesc lpFiles;
} MapiMessage, *lpMapiMessage;

#ifdef __cplusplus
static_assert(sizeof(MapiRecipDesc) == 40, "MapiRecipDesc keeps its Windows x86-64 layout");
static_assert(sizeof(MapiFileDesc) == 40, "MapiFileDesc keeps its Windows x86-64 layout");
static_assert(sizeof(MapiMessage) == 96, "MapiMessage keeps its Windows x86-64 layout");
static_assert(offsetof(MapiRecipDesc, lpEntryID) == 32);
static_assert(offsetof(MapiFileDesc, lpszPathName) == 16);
static_assert(offsetof(MapiMessage, flFlags) == 48);
static_assert(offsetof(MapiMessage, nRecipCount) == 64);
static_assert(offsetof(MapiMessage, nFileCount) == 80);
static_assert(offsetof(MapiMessage, lpFiles) == 88);
#endif

/* Status codes. */
#define SUCCESS_SUCCESS 0
#define MAPI_USER_ABORT 1
#define MAPI_E_FAILURE 2
#define MAPI_E_LOGON_FAILURE 3
#define MAPI_E_DISK_FULL 4
#define MAPI_E_INSUFFICIENT_MEMORY 5
#define MAPI_E_ACCESS_DENIED 6
#define MAPI_E_TOO_MANY_SESSIONS 8
#define MAPI_E_TOO_MANY_FILES 9
#define MAPI_E_TOO_MANY_RECIPIENTS 10
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
#define MAPI_E_ATTACHMENT_WRITE_FAILURE 13
#define MAPI_E_UNKNOWN_RECIPIENT 14
#define MAPI_E_BAD_RECIPTYPE 15
#define MAPI_E_NO_MESSAGES 16
#define MAPI_E_INVALID_MESSAGE 17
#define MAPI_E_TEXT_TOO_LARGE 18
#define MAPI_E_INVALID_SESSION 19
#define MAPI_E_TYPE_NOT_SUPPORTED 20
#define MAPI_E_AMBIGUOUS_RECIPIENT 21
#define MAPI_E_MESSAGE_IN_USE 22
#define MAPI_E_NETWORK_FAILURE 23
#define MAPI_E_INVALID_EDITFIELDS 24
#define MAPI_E_INVALID_RECIPS 25
#define MAPI_E_NOT_SUPPORTED 26

/* Recipient classes. */
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

/* Flags. */
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008
#define MAPI_POSITION_NONE 0xFFFFFFFFu

/* The entry points. ulUIParam is the caller's parent window (0: none); the library does not
 * use it. Each returns one of the status codes above. */
ULONG MAPILogon(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword, FLAGS flFlags,
                ULONG ulReserved, LPLHANDLE lplhSession) MAPI_NOTHROW;
ULONG MAPILogoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags,
                 ULONG ulReserved) MAPI_NOTHROW;
ULONG MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                   ULONG ulReserved) MAPI_NOTHROW;
ULONG MAPISendDocuments(ULONG_PTR ulUIParam, LPSTR lpszDelimChar, LPSTR lpszFilePaths,
                        LPSTR lpszFileNames, ULONG ulReserved) MAPI_NOTHROW;
ULONG MAPIFindNext(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageType,
                   LPSTR lpszSeedMessageID, FLAGS flFlags, ULONG ulReserved,
                   LPSTR lpszMessageID) MAPI_NOTHROW;
ULONG MAPIReadMail(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                   ULONG ulReserved, lpMapiMessage* lppMessage) MAPI_NOTHROW;
ULONG MAPISaveMail(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                   ULONG ulReserved, LPSTR lpszMessageID) MAPI_NOTHROW;
ULONG MAPIDeleteMail(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                     ULONG ulReserved) MAPI_NOTHROW;
ULONG MAPIFreeBuffer(LPVOID pv) MAPI_NOTHROW;
ULONG MAPIAddress(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszCaption, ULONG nEditFields,
                  LPSTR lpszLabels, ULONG nRecips, lpMapiRecipDesc lpRecips, FLAGS flFlags,
                  ULONG ulReserved, LPULONG lpnNewRecips,
                  lpMapiRecipDesc* lppNewRecips) MAPI_NOTHROW;
ULONG MAPIDetails(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiRecipDesc lpRecip, FLAGS flFlags,
                  ULONG ulReserved) MAPI_NOTHROW;
ULONG MAPIResolveName(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszName, FLAGS flFlags,
                      ULONG ulReserved, lpMapiRecipDesc* lppRecip) MAPI_NOTHROW;

/* Pointer types for callers that resolve the names at run time. */
typedef ULONG (*LPMAPILOGON)(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE);
typedef ULONG (*LPMAPILOGOFF)(LHANDLE, ULONG_PTR, FLAGS, ULONG);
typedef ULONG (*LPMAPISENDMAIL)(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG);

#ifdef __cplusplus
}
#endif
