// PlayClip: the shell's "Play" verb on a copy of the clip. The verb resolves through the clip
// file type's registration (".wmv" -> its class, "WMVFile" by default -> shell\play\command)
// when the program it names exists here, and otherwise as the desktop plays any file of the
// clip's type (the desktop's application for "video/x-ms-wmv", else ffplay).
#pragma once

#include "platform/desktop/command.h"

#include <QString>

#include <optional>
#include <string>

namespace kerris::clipmail {

inline constexpr const char* kClipMimeType = "video/x-ms-wmv";

// The command that plays file (see the file's comment for the order); nullopt when nothing
// here can play it.
std::optional<desktop::Command> resolvePlayCommand(const QString& file);

// CopyClip, then the Play verb on the copy with folder as the working folder. Nothing happens
// when no copy could be made. (The hidden show state of the shell request has no meaning for
// a player started here.)
void PlayClip(const std::string& folder);

} // namespace kerris::clipmail
