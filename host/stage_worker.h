// One stage of the extract chain run on a thread of its own, a few blocks behind the caller, so
// that a costly stage (the chroma module in MRFFT mode analyses for longer than the rest of the
// chain together) overlaps the other stages on a second core. The results do not change: the
// stage sees the same blocks in the same order, and they come back in that order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "host/module_chain.h"

namespace zqx::host {

// Lifecycle: construct (starts the thread), submit() blocks and collect() results from one
// caller thread; destroying it stops and joins the thread and drops what is queued. While the
// worker lives, the stage belongs to its thread: the caller must not call process() on it.
class StageWorker {
public:
    // Every block is `rows` x `cols` floats; at most `depth` (>= 1) blocks wait for the stage.
    // Throws std::system_error when no thread can be started.
    StageWorker(ModuleStage& stage, std::uint32_t rows, std::uint32_t cols, std::size_t depth);
    ~StageWorker();
    StageWorker(const StageWorker&) = delete;
    StageWorker& operator=(const StageWorker&) = delete;

    // Copies the block for the stage; waits while `depth` blocks wait. Throws again what the stage
    // threw on an earlier block (after which nothing more is processed).
    void submit(const float* block);

    // Hands the results that are ready, in submission order, to `sink` on the caller's thread
    // (an empty vector for a block that returned no values). wait: first waits until every block
    // submitted so far has been processed. Then throws again what the stage threw, if it did.
    void collect(bool wait, const std::function<void(const std::vector<float>&)>& sink);

private:
    void run();

    ModuleStage& m_stage;
    std::uint32_t m_rows;
    std::uint32_t m_cols;
    std::size_t m_depth;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<float>> m_blocks;   // submitted, not yet processed
    std::deque<std::vector<float>> m_results;  // processed, not yet collected
    std::vector<std::vector<float>> m_spare;   // emptied block buffers, reused
    bool m_busy = false;                       // the thread is processing a block
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

}  // namespace zqx::host
