// Commands from a registered verb's command line and from a desktop entry.
#include "platform/desktop/command.h"

#include <QUrl>

namespace kerris::desktop {
namespace {

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

} // namespace

std::optional<Command> parseRegisteredCommand(const std::string& commandLine, const QString& file) {
    std::optional<QStringList> split = splitWords(QString::fromStdString(commandLine), false);
    if (!split)
        return std::nullopt;
    QStringList& words = *split;
    if (words.isEmpty() || words.front().isEmpty())
        return std::nullopt;
    Command command{words.takeFirst(), {}};
    for (QString& w : words) {
        w.replace("%L", file, Qt::CaseInsensitive);
        w.replace("%1", file);
        command.arguments << w;
    }
    return command;
}

std::optional<Command> parseDesktopEntry(const QString& entryText, const QString& entryPath,
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
    Command command{expanded.takeFirst(), expanded};
    return command;
}

} // namespace kerris::desktop
