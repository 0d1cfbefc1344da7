// PlayClip: the shell's "Play" verb on a copy of the clip. The verb resolves, in this order,
// through the clip file type's registration (".wmv" -> its class, "WMVFile" by default ->
// shell\play\command) when the program it names exists here, through the desktop's
// application for the clip's type ("xdg-mime query default video/x-ms-wmv" and its .desktop
// file), and through ffplay, which comes with FFmpeg, so that a clip always plays.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace kerris::clipmail {

inline constexpr const char* kClipMimeType = "video/x-ms-wmv";
inline constexpr const char* kFallbackPlayer = "ffplay";

struct PlayCommand {
    QString program;
    QStringList arguments;
};

// Splits a command line as the shell's registration holds it: blanks separate, double quotes
// group (and are dropped). "%1" and "%L" (alone or inside an argument) become the file's path.
// nullopt for an empty or unbalanced line.
std::optional<PlayCommand> parseRegisteredCommand(const std::string& commandLine,
                                                  const QString& file);

// The Exec line of a desktop entry with its field codes expanded for one file: %f %F the path,
// %u %U its file: address, %c the entry's Name, %k the entry's own path, %% a percent sign;
// %i and the deprecated codes dropped. The path is appended when the line has no file code.
// nullopt when the text has no [Desktop Entry] group with an Exec key, or the line is malformed.
std::optional<PlayCommand> parseDesktopEntry(const QString& entryText, const QString& entryPath,
                                             const QString& file);

// The command that plays file (see the file's comment for the order); always a command.
PlayCommand resolvePlayCommand(const QString& file);

// CopyClip, then the Play verb on the copy with folder as the working folder. Nothing happens
// when no copy could be made. (The hidden show state of the shell request has no meaning for
// a player started here.)
void PlayClip(const std::string& folder);

} // namespace kerris::clipmail
