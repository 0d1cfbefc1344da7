// Progress bar of the command-line tool.
#include "tools/kerris/progress_bar.h"

#include <unistd.h>

#include <algorithm>

namespace kerris::tool {

std::string renderProgress(int done, int total, int width, const std::string& label) {
    const int clamped = std::clamp(done, 0, std::max(total, 0));
    const int filled = total > 0 ? int(static_cast<long long>(clamped) * width / total) : 0;
    std::string line = "[";
    line.append(std::size_t(filled), '#');
    line.append(std::size_t(width - filled), '-');
    line += "] " + std::to_string(clamped) + "/" + std::to_string(std::max(total, 0));
    if (!label.empty())
        line += "  " + label;
    return line;
}

ProgressBar::ProgressBar(std::FILE* stream, bool force)
    : m_stream(stream), m_enabled(force || (stream != nullptr && ::isatty(::fileno(stream)))) {}

void ProgressBar::start(int total) {
    m_total = total;
    update(0, "");
}

void ProgressBar::update(int done, const std::string& label) {
    if (!m_enabled)
        return;
    const std::string line = renderProgress(done, m_total, 30, label);
    std::fputc('\r', m_stream);
    std::fputs(line.c_str(), m_stream);
    // Blank out what a longer previous line left.
    for (std::size_t i = line.size(); i < m_lastLength; ++i)
        std::fputc(' ', m_stream);
    m_lastLength = line.size();
    m_drawn = true;
    std::fflush(m_stream);
}

void ProgressBar::clear() {
    if (!m_enabled || !m_drawn)
        return;
    std::fputc('\r', m_stream);
    for (std::size_t i = 0; i < m_lastLength; ++i)
        std::fputc(' ', m_stream);
    std::fputc('\r', m_stream);
    std::fflush(m_stream);
    m_drawn = false;
    m_lastLength = 0;
}

void ProgressBar::finish() {
    if (!m_enabled || !m_drawn)
        return;
    std::fputc('\n', m_stream);
    std::fflush(m_stream);
    m_drawn = false;
    m_lastLength = 0;
}

} // namespace kerris::tool
