// A one-line progress display on stderr for runs over many files: files done, seconds of audio
// and speed in multiples of real time. Shown only when stderr is a terminal.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace zqx::host {

// Thread-safe: workers call fileDone() and message() from any thread.
class ProgressDisplay {
public:
    // enabled false: every call only forwards messages.
    ProgressDisplay(std::size_t totalFiles, bool enabled);
    ~ProgressDisplay();

    // Records one finished file (failed or not) and the seconds of audio it held.
    void fileDone(double audioSeconds);
    // Prints a line on stderr without tearing the progress line.
    void message(const std::string& line);
    // Removes the progress line (called before the summary).
    void close();

    // Whether stderr is a terminal.
    static bool stderrIsTerminal();

private:
    void drawLocked();
    void clearLocked();

    std::mutex m_mutex;
    std::size_t m_total;
    std::size_t m_done = 0;
    double m_audioSeconds = 0.0;
    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace zqx::host
