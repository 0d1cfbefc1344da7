// Finding the desktop's application for a type, and the fallback player.
#include "platform/desktop/player.h"

#include "platform/desktop/desktop.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kerris::desktop {
namespace {

constexpr qint64 kLargestDesktopEntry = 256 * 1024;

// The desktop entry file of an application id, in the data folders' order.
QString findDesktopEntry(const QString& id) {
    if (id.isEmpty() || id.contains('/') || !id.endsWith(".desktop"))
        return {};
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

} // namespace

std::optional<Command> defaultApplicationCommand(const QString& mimeType, const QString& file) {
    Desktop& desktop = current();
    if (mimeType.isEmpty() || !desktop.programExists("xdg-mime"))
        return std::nullopt;
    const std::optional<QString> id =
        desktop.programOutput("xdg-mime", {"query", "default", mimeType});
    if (!id)
        return std::nullopt;
    // xdg-mime may name several entries, separated by semicolons; the first is the default.
    const QString first = id->trimmed().section(';', 0, 0).trimmed();
    const QString entryPath = findDesktopEntry(first);
    if (entryPath.isEmpty())
        return std::nullopt;
    QFile entry(entryPath);
    if (!entry.open(QIODevice::ReadOnly) || entry.size() > kLargestDesktopEntry)
        return std::nullopt;
    std::optional<Command> command =
        parseDesktopEntry(QString::fromUtf8(entry.read(kLargestDesktopEntry)), entryPath, file);
    if (!command || !desktop.programExists(command->program))
        return std::nullopt;
    return command;
}

std::optional<Command> playerCommand(const QString& file, const QString& mimeType) {
    if (std::optional<Command> command = defaultApplicationCommand(mimeType, file))
        return command;
    if (!current().programExists(kFallbackPlayer))
        return std::nullopt;
    return Command{kFallbackPlayer,
                   {"-autoexit", "-window_title", QFileInfo(file).fileName(), file}};
}

bool playFile(const QString& file, const QString& mimeType, const QString& workingFolder) {
    const std::optional<Command> command = playerCommand(file, mimeType);
    return command && current().startProgram(command->program, command->arguments, workingFolder);
}

} // namespace kerris::desktop
