// Control identifiers of the main dialog (template 102) and the commands it handles.
#pragma once

namespace kerris::clipmail {

enum ControlId : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdWebLink = 1000,
    kIdMinimize = 1001,
    kIdExit = 1002,
    kIdPreview = 1003,
    kIdPropShell = 1004,
    kIdTimer = 1005,
    kIdSize = 1006,
    kIdAbout = 1007,
    kIdRecord = 1008,
    kIdPlay = 1009,
    kIdStop = 1010,
    kIdMail = 1011,
    kIdConfig = 1012,
    kIdAudio = 1013,
    kIdNoUse = 1014,
};

// System commands: the About item appended to the system menu, minimise, move by caption.
inline constexpr int kSysCommandAbout = 16;
inline constexpr int kSysCommandMinimize = 0xF020;
inline constexpr int kSysCommandMove = 0xF012;
inline constexpr int kSysCommandClose = 0xF060;

} // namespace kerris::clipmail
