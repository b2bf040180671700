// Progress line drawing.
#include "host/progress.h"

#if defined(_WIN32)
#include <io.h>
#define ZQX_ISATTY _isatty
#define ZQX_FILENO _fileno
#else
#include <unistd.h>
#define ZQX_ISATTY isatty
#define ZQX_FILENO fileno
#endif

namespace zqx::host {

ProgressDisplay::ProgressDisplay(std::size_t totalFiles, bool enabled) : m_total(totalFiles), m_enabled(enabled) {
    std::lock_guard<std::mutex> lock(m_mutex);
    drawLocked();
}

ProgressDisplay::~ProgressDisplay() { close(); }

bool ProgressDisplay::stderrIsTerminal() { return ZQX_ISATTY(ZQX_FILENO(stderr)) != 0; }

void ProgressDisplay::fileDone(double audioSeconds) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_done;
    m_audioSeconds += audioSeconds;
    drawLocked();
}

void ProgressDisplay::message(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    clearLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
    drawLocked();
}

void ProgressDisplay::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    clearLocked();
    m_enabled = false;
}

void ProgressDisplay::clearLocked() {
    if (m_drawn) std::fprintf(stderr, "\r\033[K");
    m_drawn = false;
    std::fflush(stderr);
}

void ProgressDisplay::drawLocked() {
    if (!m_enabled) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const int width = 24;
    const int filled = m_total ? int(width * m_done / m_total) : width;
    std::string bar(std::size_t(filled), '#');
    bar.resize(std::size_t(width), '.');
    std::fprintf(stderr, "\r\033[K[%s] %zu/%zu files, %.1f s of audio, %.1fx real time", bar.c_str(), m_done,
                 m_total, m_audioSeconds, elapsed > 0 ? m_audioSeconds / elapsed : 0.0);
    std::fflush(stderr);
    m_drawn = true;
}

}  // namespace zqx::host
