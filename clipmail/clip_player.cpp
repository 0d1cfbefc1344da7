// Resolving and running the "Play" verb on a clip copy.
#include "clipmail/clip_player.h"

#include "clipmail/clip_copy.h"
#include "clipmail/desktop_services.h"
#include "clipmail/destination_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace kerris::clipmail {
namespace {

constexpr const char* kClipClassDefault = "WMVFile";
// Command lines of the registration are read into a buffer this large.
constexpr size_t kCommandBuffer = 1024;
constexpr qint64 kLargestDesktopEntry = 256 * 1024;

// The words of a command line: blanks separate, double quotes group and are dropped. With
// backslashEscapes (desktop entry quoting) a backslash inside quotes takes the next character
// as it is. nullopt when a quote is left open.
std::optional<QStringList> splitWords(const QString& line, bool backslashEscapes) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && backslashEscapes && c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words << word;
    return words;
}

// The value of key in the [Desktop Entry] group (unlocalised), with the entry's escapes undone.
std::optional<QString> desktopValue(const QString& text, const QString& key) {
    bool inEntry = false;
    for (const QString& raw : text.split('\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0 || line.left(equals).trimmed() != key)
            continue;
        const QString value = line.mid(equals + 1).trimmed();
        // The entry's own escapes; any other backslash is left for the Exec quoting.
        static const QString escapes = QStringLiteral("sntr\\");
        static const QString meanings = QStringLiteral(" \n\t\r\\");
        QString unescaped;
        for (qsizetype i = 0; i < value.size(); ++i) {
            const qsizetype escape =
                i + 1 < value.size() && value[i] == '\\' ? escapes.indexOf(value[i + 1]) : -1;
            if (escape >= 0) {
                unescaped += meanings[escape];
                ++i;
            } else {
                unescaped += value[i];
            }
        }
        return unescaped;
    }
    return std::nullopt;
}

// The desktop entry file of an application id, in the data folders' order.
QString findDesktopEntry(const QString& id) {
    if (id.isEmpty() || id.contains('/') || !id.endsWith(".desktop"))
        return {};
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

std::optional<PlayCommand> desktopPlayCommand(const QString& file) {
    DesktopServices& desktop = desktopServices();
    if (!desktop.programExists("xdg-mime"))
        return std::nullopt;
    const std::optional<QString> id =
        desktop.programOutput("xdg-mime", {"query", "default", kClipMimeType});
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
    std::optional<PlayCommand> command =
        parseDesktopEntry(QString::fromUtf8(entry.readAll()), entryPath, file);
    if (!command || !desktop.programExists(command->program))
        return std::nullopt;
    return command;
}

std::optional<PlayCommand> registeredPlayCommand(const QString& file) {
    using registry::Hive;
    std::string type = readRegistryText(Hive::ClassesRoot, ".wmv", "", kClipClassDefault);
    if (type.empty())
        type = kClipClassDefault;
    const std::string line = readRegistryText(Hive::ClassesRoot, type + "\\shell\\play\\command",
                                              "", "", kCommandBuffer);
    std::optional<PlayCommand> command = parseRegisteredCommand(line, file);
    if (!command || !desktopServices().programExists(command->program))
        return std::nullopt;
    return command;
}

} // namespace

std::optional<PlayCommand> parseRegisteredCommand(const std::string& commandLine,
                                                  const QString& file) {
    std::optional<QStringList> split = splitWords(QString::fromStdString(commandLine), false);
    if (!split)
        return std::nullopt;
    QStringList& words = *split;
    if (words.isEmpty() || words.front().isEmpty())
        return std::nullopt;
    PlayCommand command{words.takeFirst(), {}};
    for (QString& w : words) {
        w.replace("%L", file, Qt::CaseInsensitive);
        w.replace("%1", file);
        command.arguments << w;
    }
    return command;
}

std::optional<PlayCommand> parseDesktopEntry(const QString& entryText, const QString& entryPath,
                                             const QString& file) {
    const std::optional<QString> exec = desktopValue(entryText, "Exec");
    if (!exec)
        return std::nullopt;
    const std::optional<QStringList> words = splitWords(*exec, true);
    if (!words || words->isEmpty())
        return std::nullopt;
    const QString name = desktopValue(entryText, "Name").value_or(QString());
    const QString url = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    QStringList expanded;
    bool fileGiven = false;
    for (const QString& w : *words) {
        // A field code standing alone may expand to nothing (%i without an icon, say).
        if (w == "%f" || w == "%F" || w == "%u" || w == "%U") {
            expanded << (w.compare("%u", Qt::CaseInsensitive) == 0 ? url : file);
            fileGiven = true;
            continue;
        }
        if (w == "%i" || w == "%d" || w == "%D" || w == "%n" || w == "%N" || w == "%v" || w == "%m")
            continue;
        QString out;
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w[i] != '%' || i + 1 >= w.size()) {
                out += w[i];
                continue;
            }
            const QChar code = w[++i];
            if (code == '%')
                out += '%';
            else if (code == 'f' || code == 'F') {
                out += file;
                fileGiven = true;
            } else if (code == 'u' || code == 'U') {
                out += url;
                fileGiven = true;
            } else if (code == 'c')
                out += name;
            else if (code == 'k')
                out += entryPath;
        }
        expanded << out;
    }
    if (expanded.isEmpty() || expanded.front().isEmpty())
        return std::nullopt;
    if (!fileGiven)
        expanded << file;
    PlayCommand command{expanded.takeFirst(), expanded};
    return command;
}

PlayCommand resolvePlayCommand(const QString& file) {
    if (std::optional<PlayCommand> command = registeredPlayCommand(file))
        return *command;
    if (std::optional<PlayCommand> command = desktopPlayCommand(file))
        return *command;
    return PlayCommand{kFallbackPlayer,
                       {"-autoexit", "-window_title", QFileInfo(file).fileName(), file}};
}

void PlayClip(const std::string& folder) {
    const std::optional<std::string> copy = CopyClip(folder);
    if (!copy)
        return;
    const PlayCommand command = resolvePlayCommand(QString::fromStdString(*copy));
    desktopServices().startProgramIn(command.program, command.arguments,
                                     QString::fromStdString(folder));
}

} // namespace kerris::clipmail
