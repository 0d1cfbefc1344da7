// Registration of the clip file type ".wmv" under HKEY_CLASSES_ROOT.
#pragma once

namespace kerris::clipmail {

inline constexpr const char* kClipPlayCommand =
    "\"C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe\"  /Play \"%L\"";
inline constexpr const char* kDefaultClipDescription = "Windows Media Format 7.0";

// Registers ".wmv" (class "WMVFile", type "video/x-ms-wmv", a "play" verb) unless ".wmv"
// exists already; then nothing at all is written. The class description is the one of the
// ".avi" class, or "Windows Media Format 7.0" when that is empty. The first key that cannot
// be created ends the registration silently.
void RegisterClipFileType();

} // namespace kerris::clipmail
