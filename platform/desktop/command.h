// Commands from the forms the desktop keeps them in: a registered verb's command line and a
// desktop entry's Exec line, each filled in for one file.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace kerris::desktop {

struct Command {
    QString program;
    QStringList arguments;
};

// Splits a command line as the shell's registration holds it: blanks separate, double quotes
// group (and are dropped). "%1" and "%L" (alone or inside an argument) become the file's path.
// nullopt for an empty or unbalanced line.
std::optional<Command> parseRegisteredCommand(const std::string& commandLine, const QString& file);

// The Exec line of a desktop entry with its field codes expanded for one file: %f %F the path,
// %u %U its file: address, %c the entry's Name, %k the entry's own path, %% a percent sign;
// %i and the deprecated codes dropped. The path is appended when the line has no file code.
// nullopt when the text has no [Desktop Entry] group with an Exec key, or the line is malformed.
std::optional<Command> parseDesktopEntry(const QString& entryText, const QString& entryPath,
                                         const QString& file);

} // namespace kerris::desktop
