// Arbitrary bytes as an audio file, through the reader and the whole extract chain of the loaded
// plug-ins, up to the result files' text. A refusal of the file or of its rate is an answer; any
// other exception, a crash or a sanitizer report is a finding.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "fuzz/loaded_plugins.h"
#include "host/audio_file.h"
#include "host/feature_chain.h"
#include "host/feature_report.h"
#include "host/output_writer.h"

using namespace zqx::host;

namespace {

// Files decode to at most this many frames here: a few bytes of FLAC or MP3 may stand for
// minutes of audio, which the chain would analyse correctly and slowly.
constexpr std::size_t kMaxFrames = 1 << 18;

const std::string& scratchFile() {
    static const std::string path = "/tmp/zqx_fuzz_audio_" + std::to_string(::getpid());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const PluginLocator& locator = zqx::fuzz::loadedPlugins();
    static const FeatureChainSettings settings;
    {
        std::FILE* file = std::fopen(scratchFile().c_str(), "wb");
        if (!file) return 0;
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try {
        AudioReader reader(scratchFile());
        FeatureChain chain(settings, reader.sampleRate(), locator);
        std::vector<float> chunk(4096);
        std::size_t frames = 0;
        while (frames < kMaxFrames) {
            const std::size_t n = reader.read(chunk.data(), chunk.size());
            if (n == 0) break;
            chain.push(chunk.data(), n);
            frames += n;
        }
        chain.finish();
        InputDescription input;
        input.path = scratchFile();
        input.format = reader.formatName();
        input.sampleRate = reader.sampleRate();
        input.channels = reader.channels();
        input.frames = reader.frames();
        OutputBatch batch;
        addFeatureReport(batch, "/nonexistent", "fuzz", input, chain);
    } catch (const AudioFileError&) {
    } catch (const ModuleError&) {
    }
    return 0;
}
