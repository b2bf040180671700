// The decoding thread and its hand-over queue.
#include "host/decode_ahead.h"

namespace zqx::host {

DecodeAhead::DecodeAhead(AudioReader& reader, std::size_t chunkFrames, std::size_t depth)
    : m_reader(reader), m_chunkFrames(chunkFrames), m_depth(depth < 1 ? 1 : depth) {
    m_thread = std::thread([this] { run(); });
}

DecodeAhead::~DecodeAhead() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void DecodeAhead::run() {
    try {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> guard(m_lock);
                m_changed.wait(guard, [this] { return m_stop || m_ready.size() < m_depth; });
                if (m_stop) return;
                if (!m_spare.empty()) {
                    chunk = std::move(m_spare.back());
                    m_spare.pop_back();
                }
            }
            chunk.mono.resize(m_chunkFrames);
            chunk.mono.resize(m_reader.read(chunk.mono.data(), chunk.mono.size()));
            const std::size_t values = chunk.mono.size() * std::size_t(m_reader.channels());
            chunk.interleaved.assign(m_reader.interleaved(), m_reader.interleaved() + values);
            const bool end = chunk.mono.empty();
            {
                const std::lock_guard<std::mutex> guard(m_lock);
                if (end) {
                    m_done = true;
                } else {
                    m_ready.push_back(std::move(chunk));
                }
            }
            m_changed.notify_all();
            if (end) return;
        }
    } catch (...) {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_error = std::current_exception();
            m_done = true;
        }
        m_changed.notify_all();
    }
}

bool DecodeAhead::next(std::vector<float>& chunk, std::vector<float>& interleaved) {
    std::unique_lock<std::mutex> guard(m_lock);
    // The caller's previous chunk goes back to the thread rather than to the allocator.
    if (chunk.capacity() > 0) m_spare.push_back({std::move(chunk), std::move(interleaved)});
    m_changed.wait(guard, [this] { return !m_ready.empty() || m_done; });
    if (m_ready.empty()) {
        if (m_error) std::rethrow_exception(m_error);
        return false;
    }
    chunk = std::move(m_ready.front().mono);
    interleaved = std::move(m_ready.front().interleaved);
    m_ready.pop_front();
    guard.unlock();
    m_changed.notify_all();
    return true;
}

}  // namespace zqx::host
