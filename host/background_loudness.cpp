// The loudness meter fed through a bounded queue.
#include "host/background_loudness.h"

#include <limits>

#include "tonalscan/multi_resolution_pitch_calc.h"

namespace zqx::host {

BackgroundLoudness::BackgroundLoudness(int channels, int sampleRate, bool ownThread)
    : m_meter(channels > 0 ? unsigned(channels) : 0u, sampleRate > 0 ? (unsigned long)sampleRate : 0ul),
      m_tuning(tonalscan::blockLengthForRate(sampleRate) != 0 ? std::make_unique<summary::TuningMeter>(sampleRate)
                                                             : nullptr),
      m_channels(std::size_t(channels)) {
    if (ownThread) m_thread = std::thread(&BackgroundLoudness::run, this);
}

void BackgroundLoudness::measure(const float* interleaved, std::size_t frames) {
    m_meter.add(interleaved, frames);
    if (m_tuning) m_tuning->add(interleaved, frames, m_channels);
}

double BackgroundLoudness::tuningCents() const {
    return m_tuning ? m_tuning->cents() : std::numeric_limits<double>::quiet_NaN();
}

BackgroundLoudness::~BackgroundLoudness() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void BackgroundLoudness::add(const float* interleaved, std::size_t frames) {
    if (frames == 0) return;
    if (!m_thread.joinable()) {
        if (!m_closed) measure(interleaved, frames);
        return;
    }
    std::vector<float> block(interleaved, interleaved + frames * m_channels);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < kMaxQueued || m_error; });
    if (m_error) return;  // finish() reports it
    m_queue.push_back(std::move(block));
    lock.unlock();
    m_changed.notify_all();
}

summary::Loudness BackgroundLoudness::finish() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
    if (m_error) std::rethrow_exception(m_error);
    return m_meter.result();
}

void BackgroundLoudness::run() {
    for (;;) {
        std::vector<float> block;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_closed; });
            if (m_queue.empty()) return;  // closed and drained
            block = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_changed.notify_all();
        try {
            measure(block.data(), block.size() / m_channels);
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_error = std::current_exception();
            m_queue.clear();
            m_changed.notify_all();
            return;
        }
    }
}

}  // namespace zqx::host
