// CopyClip: the copy of the recording that is played and mailed, "Murvone.wmv" first, then
// "Murvane1.wmv", "Murvane2.wmv" and so on.
//
// A name is passed over while another process holds that file open (a player still showing
// it, a mail client attaching it): on this system an open file could be replaced, but the
// reader may open it again by name (a mail client reads its attachment when it sends), so a
// copy that somebody is reading is never touched. Open files are found through /proc: any
// file descriptor of another process on the same device and inode. Each copy is written
// beside its target and renamed over it, so nobody ever sees half a copy.
#pragma once

#include <optional>
#include <string>

namespace kerris::clipmail {

inline constexpr const char* kFirstCopyName = "Murvone.wmv";
inline constexpr const char* kCopyNameFormat = "Murvane%d.wmv";
// Names tried before CopyClip gives up: "Murvone.wmv" and "Murvane1.wmv" to this minus one.
inline constexpr int kCopyNameLimit = 100;

// The name of the i-th copy (0: "Murvone.wmv").
std::string copyName(int index);

// True when a process other than this one holds path open.
bool isOpenElsewhere(const std::string& path);

// Copies folder + "VideoRec.wmv" to the first name of the sequence that nobody else holds
// open, replacing an older copy of that name. The copy's path, or nullopt when there is no
// recording, it cannot be read, a copy cannot be written (the disk is full, say: the next name
// would fare no better), or every name of the sequence is in use.
std::optional<std::string> CopyClip(const std::string& folder);

} // namespace kerris::clipmail
