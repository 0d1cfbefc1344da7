// The player for a file: the desktop's application for the file's type, else ffplay, which
// comes with FFmpeg, so that a movie plays even on a desktop with no video application.
#pragma once

#include "platform/desktop/command.h"

#include <QString>

#include <optional>

namespace kerris::desktop {

inline constexpr const char* kFallbackPlayer = "ffplay";

// The desktop's application for files of mimeType: the first entry "xdg-mime query default
// TYPE" names, looked up in the data folders' applications, its Exec filled in for file.
// nullopt when xdg-mime is missing or names nothing, the entry is missing, unreadable or
// malformed, or the program it names is not here.
std::optional<Command> defaultApplicationCommand(const QString& mimeType, const QString& file);

// The command that plays file: the desktop's application for mimeType, else the fallback
// player (closing at the end, the file's name as its title). nullopt when neither is here.
std::optional<Command> playerCommand(const QString& file, const QString& mimeType);

// Starts playerCommand detached, in workingFolder when one is given; false when there is no
// player for the file or it could not be started.
bool playFile(const QString& file, const QString& mimeType,
              const QString& workingFolder = QString());

} // namespace kerris::desktop
