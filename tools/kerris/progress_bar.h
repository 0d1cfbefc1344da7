// A one-line progress bar for terminals; silent when its stream is not a terminal.
#pragma once

#include <cstdio>
#include <string>

namespace kerris::tool {

// "[#########-----------]  3/10  label", `width` characters of bar. `done` beyond `total` shows
// a full bar; a total of 0 an empty one.
std::string renderProgress(int done, int total, int width, const std::string& label);

class ProgressBar {
public:
    // Draws on `stream` only when it is a terminal (or when `force` is set, for tests).
    explicit ProgressBar(std::FILE* stream, bool force = false);
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void start(int total);
    void update(int done, const std::string& label);
    // Wipes the bar so that other output can take the line; the next update draws it again.
    void clear();
    // Ends the bar's line.
    void finish();
    bool enabled() const { return m_enabled; }

private:
    std::FILE* m_stream;
    bool m_enabled;
    bool m_drawn = false;
    int m_total = 0;
    std::size_t m_lastLength = 0;
};

} // namespace kerris::tool
