// StageWorker: a bounded queue of blocks in, a queue of results out, one thread between them.
#include "host/stage_worker.h"

#include <utility>

namespace zqx::host {

StageWorker::StageWorker(ModuleStage& stage, std::uint32_t rows, std::uint32_t cols, std::size_t depth)
    : m_stage(stage), m_rows(rows), m_cols(cols), m_depth(depth < 1 ? 1 : depth), m_thread(&StageWorker::run, this) {}

StageWorker::~StageWorker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_blocks.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void StageWorker::submit(const float* block) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_blocks.size() < m_depth || m_error; });
    if (m_error) std::rethrow_exception(m_error);
    std::vector<float> copy;
    if (!m_spare.empty()) {
        copy = std::move(m_spare.back());
        m_spare.pop_back();
    }
    copy.assign(block, block + std::size_t(m_rows) * m_cols);
    m_blocks.push_back(std::move(copy));
    lock.unlock();
    m_changed.notify_all();
}

void StageWorker::collect(bool wait, const std::function<void(const std::vector<float>&)>& sink) {
    std::deque<std::vector<float>> ready;
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (wait) m_changed.wait(lock, [this] { return (m_blocks.empty() && !m_busy) || m_error; });
        ready.swap(m_results);
        error = m_error;
    }
    for (const std::vector<float>& result : ready) sink(result);
    if (error) std::rethrow_exception(error);
}

void StageWorker::run() {
    std::vector<float> block;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!block.empty()) m_spare.push_back(std::move(block));
            m_busy = false;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return !m_blocks.empty() || m_stop; });
            if (m_stop) return;
            block = std::move(m_blocks.front());
            m_blocks.pop_front();
            m_busy = true;
        }
        m_changed.notify_all();
        try {
            const BlockView out = m_stage.process(block.data(), m_rows, m_cols);
            std::vector<float> result(out.data, out.data + out.size);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_results.push_back(std::move(result));
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_error = std::current_exception();
            m_blocks.clear();
            m_busy = false;
            m_changed.notify_all();
            return;
        }
    }
}

}  // namespace zqx::host
