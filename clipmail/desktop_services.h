// What the clip mail windows ask of the desktop: modal boxes and dialogs, opening addresses,
// starting programs. Behind one replaceable interface so tests never wait on a window.
#pragma once

#include "clipmail/message_box.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QDialog;
class QWidget;

namespace kerris::clipmail {

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // A modal message box with an OK button and the text alone.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // Runs a dialog modally and returns its result.
    virtual int runModal(QDialog& dialog) = 0;
    // The shell's "open" of an address; false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Whether a program of that name is on the search path.
    virtual bool programExists(const QString& program) = 0;
    // Starts a program detached from this one; false when it could not be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments) = 0;
    // The same with workingFolder as the program's current folder.
    virtual bool startProgramIn(const QString& program, const QStringList& arguments,
                                const QString& workingFolder) = 0;
    // Runs a program to its end (a few seconds at most) and gives its standard output, or
    // nullopt when it could not run, failed or took too long.
    virtual std::optional<QString> programOutput(const QString& program,
                                                 const QStringList& arguments) = 0;
};

// The current implementation: the window system's until another is installed.
DesktopServices& desktopServices();
// Installs an implementation (kept by the caller); null restores the window system's.
void setDesktopServices(DesktopServices* services);

// The bitmap class's message boxes shown through the desktop services (installed by the
// program at start-up).
class DesktopMessageBoxes final : public MessageBoxes {
public:
    void show(const std::string& text) override;
};

} // namespace kerris::clipmail
