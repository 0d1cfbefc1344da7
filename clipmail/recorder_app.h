// RecorderApp: start-up of the clip mail program (file type, folder, skin, main dialog).
#pragma once

#include "clipmail/main_dialog.h"

namespace kerris::clipmail {

// The message of a skin that cannot give a usable window (skinWindowProblem); the skin file and
// the reason follow it on the next line.
inline constexpr const char* kUnusableSkin = "The skin cannot make a usable window.";

class RecorderApp {
public:
    // Runs the program: registers the clip file type, sets the profile key, finds
    // DestinationFolder, loads the skin, runs MainDialog modally. Returns the exit status: 0,
    // or 1 when the skin cannot give a usable window (a message says why; no window opens).
    int InitInstance(const MainDialogOptions& options);
};

} // namespace kerris::clipmail
