// What the programs ask of the desktop and of other programs: opening an address or a
// document, whether a program is on the search path, starting one detached, and running one to
// its end for its output. Behind one replaceable interface so tests start nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace kerris::desktop {

class Desktop {
public:
    virtual ~Desktop() = default;
    // The desktop's "open" of an address (a web page, a help page with its anchor, a
    // document); false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Whether a program of that name (or that path) can be started here.
    virtual bool programExists(const QString& program) = 0;
    // Starts a program detached from this one, with workingFolder as its current folder when
    // one is given; false when it could not be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments,
                              const QString& workingFolder = QString()) = 0;
    // Runs a program to its end (a few seconds at most) and gives its standard output, or
    // nullopt when it could not run, failed, wrote too much or took too long.
    virtual std::optional<QString> programOutput(const QString& program,
                                                 const QStringList& arguments) = 0;
};

// The current implementation: the running desktop's until another is installed.
Desktop& current();
// Installs an implementation (kept by the caller); null restores the running desktop's.
void setCurrent(Desktop* desktop);

} // namespace kerris::desktop
