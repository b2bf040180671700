// Decoding an audio file on a thread of its own, one chunk ahead of the caller, so that a long
// file's decoding overlaps its analysis.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "host/audio_file.h"

namespace zqx::host {

// Lifecycle: construct with an open reader (the thread starts reading at once), call next() until
// it returns false, then destroy. The chunks arrive in file order and hold what reader.read() would
// have returned to the caller, so results do not change. An error of the reader (AudioFileError)
// is thrown again from next(). Destroying the object early stops and joins the thread. The reader
// belongs to the thread while the object lives; one caller drives next().
class DecodeAhead {
public:
    // Reads chunks of up to chunkFrames mono samples, keeping at most `depth` (>= 1) decoded.
    DecodeAhead(AudioReader& reader, std::size_t chunkFrames, std::size_t depth);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // The next chunk's mono samples into `chunk` (resized to its length) and its frames as the file
    // holds them, channels interleaved, into `interleaved`; false at the end of the file.
    bool next(std::vector<float>& chunk, std::vector<float>& interleaved);

private:
    void run();

    AudioReader& m_reader;
    std::size_t m_chunkFrames;
    std::size_t m_depth;
    std::mutex m_lock;
    std::condition_variable m_changed;
    struct Chunk {
        std::vector<float> mono;
        std::vector<float> interleaved;
    };
    std::deque<Chunk> m_ready;
    std::vector<Chunk> m_spare;  // emptied chunks handed back for reuse
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

}  // namespace zqx::host
