// Resolving and running the "Play" verb on a clip copy.
#include "clipmail/clip_player.h"

#include "clipmail/clip_copy.h"
#include "clipmail/destination_folder.h"
#include "platform/desktop/desktop.h"
#include "platform/desktop/player.h"

namespace kerris::clipmail {
namespace {

constexpr const char* kClipClassDefault = "WMVFile";
// Command lines of the registration are read into a buffer this large.
constexpr size_t kCommandBuffer = 1024;

std::optional<desktop::Command> registeredPlayCommand(const QString& file) {
    using registry::Hive;
    std::string type = readRegistryText(Hive::ClassesRoot, ".wmv", "", kClipClassDefault);
    if (type.empty())
        type = kClipClassDefault;
    const std::string line = readRegistryText(Hive::ClassesRoot, type + "\\shell\\play\\command",
                                              "", "", kCommandBuffer);
    std::optional<desktop::Command> command = desktop::parseRegisteredCommand(line, file);
    if (!command || !desktop::current().programExists(command->program))
        return std::nullopt;
    return command;
}

} // namespace

std::optional<desktop::Command> resolvePlayCommand(const QString& file) {
    if (std::optional<desktop::Command> command = registeredPlayCommand(file))
        return command;
    return desktop::playerCommand(file, kClipMimeType);
}

void PlayClip(const std::string& folder) {
    const std::optional<std::string> copy = CopyClip(folder);
    if (!copy)
        return;
    if (const std::optional<desktop::Command> command =
            resolvePlayCommand(QString::fromStdString(*copy)))
        desktop::current().startProgram(command->program, command->arguments,
                                        QString::fromStdString(folder));
}

} // namespace kerris::clipmail
