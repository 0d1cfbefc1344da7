// The window-system implementation of the desktop services.
#include "clipmail/desktop_services.h"

#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

namespace kerris::clipmail {
namespace {

constexpr int kProgramOutputTimeoutMs = 5000;

class QtDesktopServices final : public DesktopServices {
public:
    void showMessage(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Murvane"), text, QMessageBox::Ok,
                        parent);
        box.exec();
    }
    int runModal(QDialog& dialog) override { return dialog.exec(); }
    bool openUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
    bool programExists(const QString& program) override {
        return !QStandardPaths::findExecutable(program).isEmpty();
    }
    bool startProgram(const QString& program, const QStringList& arguments) override {
        return QProcess::startDetached(program, arguments);
    }
    bool startProgramIn(const QString& program, const QStringList& arguments,
                        const QString& workingFolder) override {
        return QProcess::startDetached(program, arguments, workingFolder);
    }
    std::optional<QString> programOutput(const QString& program,
                                         const QStringList& arguments) override {
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments, QIODevice::ReadOnly);
        if (!process.waitForFinished(kProgramOutputTimeoutMs)) {
            process.kill();
            process.waitForFinished();
            return std::nullopt;
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }
};

QtDesktopServices g_qt;
DesktopServices* g_current = &g_qt;

} // namespace

DesktopServices& desktopServices() {
    return *g_current;
}

void setDesktopServices(DesktopServices* services) {
    g_current = services ? services : &g_qt;
}

void DesktopMessageBoxes::show(const std::string& text) {
    desktopServices().showMessage(nullptr, QString::fromStdString(text));
}

} // namespace kerris::clipmail
