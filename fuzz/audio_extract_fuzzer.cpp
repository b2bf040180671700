// Arbitrary bytes as an audio file, through the reader and the whole extract chain of the loaded
// plug-ins, up to the result files' text. A refusal of the file or of its rate is an answer; any
// other exception, a crash or a sanitizer report is a finding.
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "fuzz/loaded_plugins.h"
#include "host/audio_file.h"
#include "host/feature_chain.h"
#include "host/feature_report.h"
#include "host/output_writer.h"
#include "host/result_summary.h"

using namespace zqx::host;

namespace {

// Files decode to at most this many frames here: a few bytes of FLAC or MP3 may stand for
// minutes of audio, which the chain would analyse correctly and slowly.
constexpr std::size_t kMaxFrames = 1 << 18;

const std::string& scratchFile() {
    static const std::string path = "/tmp/zqx_fuzz_audio_" + std::to_string(::getpid());
    return path;
}

// The result files of each input are written here, replacing the previous input's.
const std::string& scratchDir() {
    static const std::string path = [] {
        const std::string dir = "/tmp/zqx_fuzz_results_" + std::to_string(::getpid());
        ensureWritableDirectory(dir);
        return dir;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FeatureChainPlan plan(FeatureChainSettings{}, zqx::fuzz::loadedPlugins());
    {
        std::FILE* file = std::fopen(scratchFile().c_str(), "wb");
        if (!file) return 0;
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try {
        AudioReader reader(scratchFile());
        // The listeners and the order of calls of zqx extract: summary and streamed files.
        ResultSummariser summariser(reader.channels(), reader.sampleRate());
        FeatureReportWriter writer(scratchDir(), "fuzz", plan.settings());
        ListenerPair listeners(summariser, writer);
        FeatureChain chain(plan, reader.sampleRate(), &listeners, false);
        std::vector<float> chunk(4096);
        std::size_t frames = 0;
        while (frames < kMaxFrames) {
            const std::size_t n = reader.read(chunk.data(), chunk.size());
            if (n == 0) break;
            summariser.addInputAudio(reader.interleaved(), n);
            chain.push(chunk.data(), n);
            frames += n;
        }
        chain.finish();
        const ResultSummary summary = summariser.summarise(chain);
        InputDescription input;
        input.path = scratchFile();
        input.format = reader.formatName();
        input.sampleRate = reader.sampleRate();
        input.channels = reader.channels();
        input.frames = reader.frames();
        writer.commit(input, chain, summary);
    } catch (const AudioFileError&) {
    } catch (const ModuleError&) {
    } catch (const std::invalid_argument& error) {
        // A stream the loudness meter refuses (more channels than libebur128 takes) fails its
        // file with this reason in zqx extract; any other invalid_argument is a finding.
        if (std::string(error.what()).rfind("loudness: ", 0) != 0) throw;
    }
    return 0;
}
