// The loudness meter on a thread of its own: libebur128's filtering costs about a third of the
// extract chain's processor time, and on a second core it overlaps the chain instead of adding to it.
// The tuning meter rides along on the same thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "summary/loudness_meter.h"
#include "summary/tuning_estimate.h"

namespace zqx::host {

// Lifecycle: construct (starts the thread), add() blocks of audio in order from one thread, then
// finish() once for the figures. Destroying it without finish() stops the thread and drops what
// was queued. Constructed with ownThread false it measures in add() itself, on the caller's thread
// (zqx extract --jobs 1: one thread in all), with the same figures.
class BackgroundLoudness {
public:
    // Throws std::invalid_argument for channels < 1 or a rate below 16 Hz, std::system_error when
    // no thread can be started.
    BackgroundLoudness(int channels, int sampleRate, bool ownThread = true);
    ~BackgroundLoudness();
    BackgroundLoudness(const BackgroundLoudness&) = delete;
    BackgroundLoudness& operator=(const BackgroundLoudness&) = delete;

    // Copies `frames` interleaved frames for the meter. Waits while kMaxQueued blocks are queued,
    // so a slow meter holds back the reader instead of filling memory. Without a thread of its
    // own, measures them at once and throws what the meter throws.
    void add(const float* interleaved, std::size_t frames);

    // Waits until every block is measured and returns the figures; rethrows a failure of the
    // meter. Called once.
    summary::Loudness finish();

    // After finish(): the tuning offset in cents (summary::TuningMeter::cents), NaN when it has
    // none or the rate is outside the tuning meter's 8000..192000 Hz.
    double tuningCents() const;

    static constexpr std::size_t kMaxQueued = 8;

private:
    void run();
    void measure(const float* interleaved, std::size_t frames);

    summary::LoudnessMeter m_meter;
    std::unique_ptr<summary::TuningMeter> m_tuning;  // null outside its rates
    std::size_t m_channels;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<float>> m_queue;
    bool m_closed = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

}  // namespace zqx::host
