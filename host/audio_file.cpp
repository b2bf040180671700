// AudioReader on libsndfile: opening with clear reasons, chunked reading and the mono mix.
#include "host/audio_file.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <utility>
#include <sstream>
#include <system_error>
#include <filesystem>

namespace zqx::host {

// libsndfile opens every file and reads all but MPEG, which libmpg123 decodes directly: through
// libsndfile it prints its complaints about damaged frames on stderr, and libsndfile stops at its
// length estimate, which for a variable bit rate without a length tag may be short.
struct AudioReader::Handle {
    SNDFILE* file = nullptr;
    mpg123_handle* mpeg = nullptr;
    ~Handle() {
        if (file) sf_close(file);
        if (mpeg) {
            mpg123_close(mpeg);
            mpg123_delete(mpeg);
        }
    }
};

namespace {

std::string formatNameOf(int format) {
    std::string text;
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) text = info.name;
    info = SF_FORMAT_INFO{};
    info.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        text += (text.empty() ? "" : " / ") + std::string(info.name);
    return text;
}

// libsndfile opens a file whose data chunk is cut short and quietly reports fewer frames; only its
// log says so, with a line like "data : 4000 (should be 956)" (WAV, RF64), " SSND : ..." (AIFF),
// "Data Size : ..." (AU), "riff : ..." (W64, whose data chunk line carries no correction) or
// "Riff size : ..." (RF64, whose data chunk size sits in its ds64 chunk). A WAV or AIFF whose RIFF or
// FORM size alone is too large lost only chunks after its audio and is read.
// Streaming writers that could not go back to fill in the size leave 0 or all ones there; those
// are not truncations.
bool logReportsShortData(SNDFILE* file) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        const bool dataChunk = line.compare(start, 4, "data") == 0 || line.compare(start, 4, "SSND") == 0 ||
                               line.compare(start, 9, "Data Size") == 0 || line.compare(start, 4, "riff") == 0 ||
                               line.compare(start, 9, "Riff size") == 0;
        const auto colon = line.find(':'), should = line.find("(should be ");
        if (!dataChunk || colon == std::string::npos || should == std::string::npos) continue;
        const unsigned long long declared = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
        const unsigned long long actual = std::strtoull(line.c_str() + should + 11, nullptr, 10);
        if (declared > actual && declared < 0x7fffffffull) return true;
    }
    return false;
}

// Containers whose header only estimates the frame count: the decoder's end of stream is the end.
bool headerLengthIsExact(int format) {
    const int container = format & SF_FORMAT_TYPEMASK;
    return container != SF_FORMAT_MPEG && container != SF_FORMAT_OGG;
}

// Opens path with libmpg123 (quiet, float output, encoder delay and padding removed); sets the
// rate, channels and estimated length.
void openMpegDecoder(mpg123_handle*& handle, const std::string& path, int& rate, int& channels,
                     std::int64_t& frames) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    int error = MPG123_OK;
    handle = mpg123_new(nullptr, &error);
    if (!handle) throw AudioFileError(path + ": no MP3 decoder (" + mpg123_plain_strerror(error) + ")");
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_GAPLESS, 0.0);
    long decodedRate = 0;
    int encoding = 0;
    if (mpg123_open(handle, path.c_str()) != MPG123_OK ||
        mpg123_getformat(handle, &decodedRate, &channels, &encoding) != MPG123_OK)
        throw AudioFileError(path + ": not a readable MP3 file (" + mpg123_strerror(handle) + ")");
    if (encoding != MPG123_ENC_FLOAT_32 || channels < 1 || decodedRate < 1)
        throw AudioFileError(path + ": the MP3 decoder gives no float samples for it");
    // The stream keeps this format: a change further on is damage.
    mpg123_format_none(handle);
    mpg123_format(handle, decodedRate, channels, MPG123_ENC_FLOAT_32);
    rate = static_cast<int>(decodedRate);
    const off_t length = mpg123_length(handle);
    frames = length > 0 ? static_cast<std::int64_t>(length) : 0;
}

// libsndfile's text for a file's last error, or an empty string when it has none to give.
std::string decoderReason(SNDFILE* file) {
    if (sf_error(file) == SF_ERR_NO_ERROR) return {};
    return std::string(" (") + sf_strerror(file) + ")";
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : m_handle(std::make_unique<Handle>()), m_path(path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) throw AudioFileError(path + ": no such file");
    if (std::filesystem::is_directory(status)) throw AudioFileError(path + ": is a folder, not an audio file");
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) throw AudioFileError(path + ": cannot be opened for reading: " + std::strerror(errno));
        if (probe.peek() == std::ifstream::traits_type::eof()) throw AudioFileError(path + ": file is empty");
    }

    SF_INFO info{};
    m_handle->file = sf_open(path.c_str(), SFM_READ, &info);
    if (!m_handle->file)
        throw AudioFileError(path + ": not a readable audio file (" + sf_strerror(nullptr) + ")");
    if (info.channels < 1 || info.samplerate < 1)
        throw AudioFileError(path + ": audio header has no channels or no sample rate");
    if (info.samplerate > kMaxSampleRate)
        throw AudioFileError(path + ": sample rate " + std::to_string(info.samplerate) +
                             " Hz is outside what audio uses (" + std::to_string(kMinSampleRate) + " Hz to " +
                             std::to_string(kMaxSampleRate / 1000) + " kHz)");
    if (logReportsShortData(m_handle->file))
        throw AudioFileError(path + ": file is truncated (the audio data is shorter than its header says)");
    m_lengthIsExact = headerLengthIsExact(info.format);
    if (m_lengthIsExact && info.frames <= 0) throw AudioFileError(path + ": holds no audio samples");

    m_sampleRate = info.samplerate;
    m_channels = info.channels;
    m_frames = m_lengthIsExact ? info.frames : std::max<sf_count_t>(info.frames, 0);
    m_formatName = formatNameOf(info.format);
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        sf_close(std::exchange(m_handle->file, nullptr));
        openMpegDecoder(m_handle->mpeg, path, m_sampleRate, m_channels, m_frames);
        return;
    }
    // Scale integer formats to [-1, 1) and keep floats as stored.
    sf_command(m_handle->file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
}

AudioReader::~AudioReader() = default;

std::size_t AudioReader::read(float* mono, std::size_t maxFrames) {
    std::size_t want = maxFrames;
    if (m_lengthIsExact) want = static_cast<std::size_t>(std::min<std::int64_t>(m_frames - m_framesRead, std::int64_t(maxFrames)));
    if (want == 0 || m_finished) return 0;
    m_interleaved.resize(want * static_cast<std::size_t>(m_channels));
    const std::int64_t got = decode(want);
    if (got == 0) {
        if (m_lengthIsExact)
            throw AudioFileError(m_path + ": file is truncated or damaged after " + std::to_string(m_framesRead) +
                                 " of " + std::to_string(m_frames) + " frames");
        if (m_framesRead == 0) throw AudioFileError(m_path + ": no audio could be decoded from it");
        m_frames = m_framesRead;
        m_finished = true;
        return 0;
    }
    const std::size_t n = static_cast<std::size_t>(got);
    const std::size_t values = n * std::size_t(m_channels);
    for (std::size_t i = 0; i < values; ++i) {
        if (std::isfinite(m_interleaved[i])) continue;
        const std::int64_t frame = m_framesRead + std::int64_t(i / std::size_t(m_channels));
        throw AudioFileError(m_path + ": sample at frame " + std::to_string(frame) + " (" +
                             std::to_string(double(frame) / m_sampleRate) + " s), channel " +
                             std::to_string(i % std::size_t(m_channels) + 1) + " is " +
                             (std::isnan(m_interleaved[i]) ? "not a number" : "infinite"));
    }
    if (m_channels == 1) {
        std::copy(m_interleaved.begin(), m_interleaved.begin() + std::ptrdiff_t(n), mono);
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            double sum = 0.0;
            for (int c = 0; c < m_channels; ++c) sum += m_interleaved[i * std::size_t(m_channels) + std::size_t(c)];
            mono[i] = static_cast<float>(sum / m_channels);
        }
    }
    m_framesRead += std::int64_t(n);
    return n;
}

std::int64_t AudioReader::decode(std::size_t frames) {
    if (!m_handle->mpeg) {
        const sf_count_t got = sf_readf_float(m_handle->file, m_interleaved.data(), sf_count_t(frames));
        if (got < 0 || sf_error(m_handle->file) != SF_ERR_NO_ERROR)
            throw AudioFileError(m_path + ": file is damaged after " + std::to_string(m_framesRead) + " frames" +
                                 decoderReason(m_handle->file));
        return got;
    }
    const std::size_t frameBytes = sizeof(float) * std::size_t(m_channels);
    auto* bytes = reinterpret_cast<unsigned char*>(m_interleaved.data());
    std::size_t filled = 0;
    // A read may end early at a frame boundary; fill the request unless the stream ends.
    while (filled < frames * frameBytes) {
        std::size_t done = 0;
        const int status = mpg123_read(m_handle->mpeg, bytes + filled, frames * frameBytes - filled, &done);
        filled += done;
        if (status == MPG123_DONE) break;
        if (status != MPG123_OK)
            throw AudioFileError(m_path + ": MP3 stream is damaged after " +
                                 std::to_string(m_framesRead + std::int64_t(filled / frameBytes)) + " frames (" +
                                 (status == MPG123_NEW_FORMAT ? std::string("its format changes")
                                                              : std::string(mpg123_strerror(m_handle->mpeg))) +
                                 ")");
        if (done == 0) break;
    }
    return std::int64_t(filled / frameBytes);
}

AudioData readAudioFile(const std::string& path) {
    AudioReader reader(path);
    AudioData data;
    data.sampleRate = reader.sampleRate();
    // An estimated length may be far off (or absurd in a damaged header): grow as the decoder goes.
    const std::size_t chunk = 1 << 16;
    std::size_t at = 0;
    if (reader.lengthIsExact()) data.samples.resize(static_cast<std::size_t>(reader.frames()));
    for (;;) {
        if (at == data.samples.size()) data.samples.resize(at + chunk);
        const std::size_t n = reader.read(data.samples.data() + at, data.samples.size() - at);
        if (n == 0) break;
        at += n;
    }
    data.samples.resize(at);
    return data;
}

}  // namespace zqx::host
