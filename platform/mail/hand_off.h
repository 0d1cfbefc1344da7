// The mail hand-off: which way this desktop opens its mail client's compose window with files
// attached, tried in turn until one works. The desktop is an interface so that tests script it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kerris::mail {

// A message for the compose window. Attachments are absolute paths of existing regular files.
struct Composition {
    std::vector<std::string> attachments;
    std::string subject;
    std::string body;
    std::vector<std::string> to;
    std::vector<std::string> cc;
    std::vector<std::string> bcc;
};

// The ways of handing a message over, in the order they are tried.
enum class HandOff {
    None,          // nothing worked
    ComposeSwitch, // the default mail client's own compose switch (it ignores mailto attachments)
    Portal,        // the desktop portal's Email interface, attachments as descriptors
    MailCommand,   // xdg-email --attach
};

// What the hand-off needs from the desktop.
class Desktop {
public:
    virtual ~Desktop() = default;
    // An environment variable; nullopt when it is not set.
    virtual std::optional<std::string> variable(const std::string& name) const = 0;
    // Runs PROGRAM (a path) and returns its standard output when it exits with status 0.
    virtual std::optional<std::string> readOutput(const std::string& program,
                                                  const std::vector<std::string>& arguments) = 0;
    // Starts PROGRAM (a path) detached; true when it is running.
    virtual bool start(const std::string& program, const std::vector<std::string>& arguments) = 0;
    // Asks the portal's Email interface to compose; true when it accepted the request.
    virtual bool portalCompose(const Composition& message) = 0;
    // True when the portal's Email interface answers on the session bus.
    virtual bool portalHasEmail() = 0;
};

// The desktop this process runs on.
Desktop& systemDesktop();

// The session bus the portal lives on: DBUS_SESSION_BUS_ADDRESS, else the bus socket in
// XDG_RUNTIME_DIR when there is one. Never starts a bus.
std::optional<std::string> sessionBusAddress(const Desktop& desktop);

// The first executable called NAME in the folders of PATH; NAME itself when it holds a "/" and
// is executable.
std::optional<std::string> findProgram(const Desktop& desktop, const std::string& name);

// The desktop entry file of the default mailto handler, as xdg-mime names it, found in the
// applications folders of XDG_DATA_HOME and XDG_DATA_DIRS.
std::optional<std::string> defaultMailtoEntry(Desktop& desktop);

// The command of a desktop entry file's text: the Exec key of its [Desktop Entry] group,
// unquoted and split into arguments, its field codes (%u, %F, ...) left out. nullopt when the
// text has no Exec key or its quoting is broken.
std::optional<std::vector<std::string>> desktopEntryCommand(const std::string& text);

// True when COMMAND runs a mail client that ignores attachments in mailto links but takes
// them through its compose switch.
bool takesComposeSwitch(const std::vector<std::string>& command);

// The compose switch's argument for MESSAGE (to='..',cc='..',bcc='..',subject='..',body='..',
// attachment='file:///..'); nullopt when a text holds a character the switch cannot quote.
std::optional<std::string> composeSwitchArgument(const Composition& message);

// "file://" and the path, percent-encoded outside the unreserved characters and "/".
std::string fileUrl(const std::string& path);

// Opens the compose window for MESSAGE through the first hand-off that works.
HandOff compose(Desktop& desktop, const Composition& message);

// True when one of the hand-offs can work on this desktop: a mailto handler is registered
// (and its compose switch or xdg-email can reach it), or the portal's Email interface answers.
bool canCompose(Desktop& desktop);

} // namespace kerris::mail
