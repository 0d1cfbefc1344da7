// The record the fake "MAPI32.DLL" (build/tests/mail/fake/libmapi32.so) keeps of its calls,
// read through its FakeMapi_Log export; FakeMapi_Reset clears it and scripts the answers.
#pragma once

#include "platform/mail/mapi.h"

#include <string>

struct FakeMapiLog {
    // MAPILogon
    int logons = 0;
    ULONG_PTR logonParent = 0;
    bool logonProfileNull = false;
    bool logonPasswordNull = false;
    FLAGS logonFlags = 0;
    ULONG logonReserved = 0;
    // MAPISendMail: the arguments and a copy of the message as it was during the call
    int sends = 0;
    LHANDLE sendSession = 0;
    ULONG_PTR sendParent = 0;
    FLAGS sendFlags = 0;
    ULONG sendReserved = 0;
    bool messageNull = false;
    MapiMessage message{};
    MapiFileDesc file{}; // the first file
    std::string filePath;
    // every other entry point
    int otherCalls = 0;

    // Scripted: what MAPILogon writes (nothing when 0) and answers, what MAPISendMail answers.
    LHANDLE sessionToGive = 0;
    ULONG logonStatus = SUCCESS_SUCCESS;
    ULONG sendStatus = SUCCESS_SUCCESS;
};

using FakeMapiLogFn = FakeMapiLog* (*)();
