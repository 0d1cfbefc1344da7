// Terminating signals (the session ending, kill, Ctrl+C, a lost terminal): the program ends the
// normal way, its settings written, whatever dialog is up at the time.
#pragma once

#include <functional>

namespace lumicart {

class TFormMain;
class UserInterface;

// Builds the window, shows it and runs the main loop until the window closes or SIGTERM,
// SIGINT or SIGHUP arrives; either way the window's settings are written and 0 is returned.
// `inMainLoop`, if given, runs once from the main loop (a test opens a dialog there).
// An error while building the window is shown and ends the program.
int runMainWindow(UserInterface& ui, const std::function<void(TFormMain&)>& inMainLoop = {});

} // namespace lumicart
