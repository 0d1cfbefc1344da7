// Starting other programs and moving between folders.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

// The same with ARGUMENTS after the program's name (argv[1] onwards, passed as they are).
bool startDetached(const std::string& program, const std::vector<std::string>& arguments);

// Runs PROGRAM (as startDetached names it) with ARGUMENTS, its input and error output on
// /dev/null, and waits for it up to TIMEOUT_MS. Its standard output when it exited with
// status 0 within the time and wrote at most LIMIT bytes; nullopt otherwise (a program still
// running at the deadline is killed).
std::optional<std::string> readOutput(const std::string& program,
                                      const std::vector<std::string>& arguments, size_t limit,
                                      int timeoutMs);

} // namespace kerris::process
