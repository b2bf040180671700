// Reading audio files through libsndfile, mixed down to one channel of floats.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/limits.h"

namespace zqx::host {

// A file that cannot be read as audio; the message names the file and the reason.
class AudioFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An open audio file read in chunks, each frame mixed to mono as the mean of its channels.
//
// The frame count of WAV, AIFF, AU, W64, CAF, RF64 and FLAC headers is exact: a file that ends
// before it is truncated. MP3 and Ogg headers only estimate it (encoder delay and padding), so
// there the decoder's end of stream is the end, and frames() becomes the count read once read()
// has returned 0.
//
// Lifecycle: open (throws AudioFileError for a missing, unreadable, non-audio, empty or damaged
// file, or a sample rate outside kMinSampleRate..kMaxSampleRate), then read() until it returns 0,
// then destroy. One thread at a time.
class AudioReader {
public:
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // Reads up to maxFrames mono samples into mono; returns how many. 0 means the end. Throws
    // AudioFileError when the file ends before the frame count its header states exactly, when
    // the decoder reports damage, when a sample is NaN or infinite (naming the first one's frame
    // and channel), or when a file of estimated length decodes to no samples at all.
    std::size_t read(float* mono, std::size_t maxFrames);
    // The frames of the last read() before mixing: channels() values per frame, as many frames as
    // it returned. Valid until the next read().
    const float* interleaved() const { return m_interleaved.data(); }

    const std::string& path() const { return m_path; }
    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }
    // The header's frame count; for an estimated length, the count read once read() returned 0.
    std::int64_t frames() const { return m_frames; }
    bool lengthIsExact() const { return m_lengthIsExact; }
    // The container and encoding as libsndfile names them, e.g. "WAV (Microsoft) / Signed 16 bit PCM".
    const std::string& formatName() const { return m_formatName; }
    double durationSeconds() const { return m_sampleRate > 0 ? double(m_frames) / m_sampleRate : 0.0; }

private:
    // Decodes up to frames interleaved frames into m_interleaved; 0 at the end of the stream.
    std::int64_t decode(std::size_t frames);

    struct Handle;
    std::unique_ptr<Handle> m_handle;
    std::string m_path;
    int m_sampleRate = 0;
    int m_channels = 0;
    std::int64_t m_frames = 0;
    std::int64_t m_framesRead = 0;
    bool m_lengthIsExact = true;
    bool m_finished = false;
    std::string m_formatName;
    std::vector<float> m_interleaved;
};

// The whole file as mono samples.
struct AudioData {
    std::vector<float> samples;
    int sampleRate = 0;
};
AudioData readAudioFile(const std::string& path);

}  // namespace zqx::host
