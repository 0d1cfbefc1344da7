// Starting other programs and moving between folders.
#pragma once

#include <optional>
#include <string>

namespace kerris::process {

// The current folder, or nullopt when it cannot be read (it was removed, say).
std::optional<std::string> currentFolder();

// Makes FOLDER current; false when it cannot be entered.
bool setCurrentFolder(const std::string& folder);

// Starts PROGRAM (a path, relative to the current folder when it has no leading "/") with no
// arguments, in the current folder, and does not wait for it: the child is detached into its
// own session so that it outlives us and never becomes our zombie. True when the program was
// started (its file exists and could be executed).
bool startDetached(const std::string& program);

} // namespace kerris::process
