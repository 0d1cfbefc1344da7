// The running desktop: Qt's opening of addresses, the search path and detached processes.
#include "platform/desktop/desktop.h"

#include "platform/process/process.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

#include <string>
#include <vector>

namespace kerris::desktop {
namespace {

constexpr int kProgramOutputTimeoutMs = 5000;
// The programs asked (xdg-mime and the like) answer in a line or two.
constexpr size_t kProgramOutputLimit = 64 * 1024;

class QtDesktop final : public Desktop {
public:
    bool openUrl(const QUrl& url) override {
        return url.isValid() && QDesktopServices::openUrl(url);
    }
    bool programExists(const QString& program) override {
        return !program.isEmpty() && !QStandardPaths::findExecutable(program).isEmpty();
    }
    bool startProgram(const QString& program, const QStringList& arguments,
                      const QString& workingFolder) override {
        return !program.isEmpty() && QProcess::startDetached(program, arguments, workingFolder);
    }
    std::optional<QString> programOutput(const QString& program,
                                         const QStringList& arguments) override {
        const QString path =
            program.isEmpty() ? QString() : QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            return std::nullopt;
        std::vector<std::string> words;
        for (const QString& argument : arguments)
            words.push_back(argument.toLocal8Bit().toStdString());
        const std::optional<std::string> output = process::readOutput(
            path.toLocal8Bit().toStdString(), words, kProgramOutputLimit, kProgramOutputTimeoutMs);
        if (!output)
            return std::nullopt;
        return QString::fromLocal8Bit(output->data(), qsizetype(output->size()));
    }
};

QtDesktop g_qt;
Desktop* g_current = &g_qt;

} // namespace

Desktop& current() {
    return *g_current;
}

void setCurrent(Desktop* desktop) {
    g_current = desktop ? desktop : &g_qt;
}

} // namespace kerris::desktop
