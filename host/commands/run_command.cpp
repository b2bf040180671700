// zqx run: drives any chain of plug-ins over an audio file or raw float32 blocks and prints one
// CSV line per block that the last stage returns.
#include <cstdio>
#include <exception>
#include <string>

#include "host/audio_file.h"
#include "host/chain_spec.h"
#include "host/commands/commands.h"
#include "host/module_chain.h"
#include "host/output_writer.h"
#include "host/raw_input.h"

namespace zqx::host {

namespace {

bool parseMatrixShape(const std::string& text, unsigned& rows, unsigned& cols) {
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
    try {
        std::size_t used = 0;
        const unsigned long r = std::stoul(text.substr(0, x), &used);
        if (used != x) return false;
        const unsigned long c = std::stoul(text.substr(x + 1), &used);
        if (used != text.size() - x - 1) return false;
        if (r == 0 || c == 0 || r > 1u << 20 || c > 1u << 20 || r * c > 1ul << 28) return false;
        rows = unsigned(r);
        cols = unsigned(c);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string csvLine(const BlockView& block) {
    std::string line;
    for (std::uint32_t i = 0; i < block.size; ++i) {
        if (i) line += ',';
        line += formatFloat(block.data[i]);
    }
    line += '\n';
    return line;
}

}  // namespace

int runCommand(const RunOptions& options) {
    try {
        const std::vector<ChainStage> stages = parseChainSpec(options.chain);
        ParameterList globals;
        try {
            globals = parseParameterList(options.globals);
        } catch (const ChainSpecError& error) {
            throw ChainSpecError(std::string("--global: ") + error.what());
        }

        unsigned rows = 1, cols = 0;
        const bool matrixBlocks = !options.matrix.empty();
        if (matrixBlocks && options.block != 0) throw UsageError("--block and --matrix exclude each other");
        // --block sets windowSize; a --global windowSize as well would silently replace it.
        if (options.block != 0)
            for (const auto& [key, value] : globals)
                if (key == "windowSize")
                    throw UsageError("--block " + std::to_string(options.block) + " and --global windowSize=" +
                                     formatParameterValue(value) + " both set the block length; give one");
        if (matrixBlocks && !parseMatrixShape(options.matrix, rows, cols))
            throw UsageError("--matrix '" + options.matrix + "' is not ROWSxCOLS with positive sizes");

        std::vector<float> samples;
        int samplingRate = 44100;
        if (options.raw) {
            samples = readRawFloats(options.input);
        } else {
            if (options.input == "-") throw UsageError("audio cannot be read from standard input; use --raw");
            AudioData audio = readAudioFile(options.input);
            samples = std::move(audio.samples);
            samplingRate = audio.sampleRate;
        }

        ParameterMap globalParams = defaultGlobalParams(samplingRate);
        if (!matrixBlocks && options.block != 0) globalParams.set("windowSize", int(options.block));
        applyParameters(globalParams, globals);
        checkChainGlobals(globalParams);
        if (!matrixBlocks) {
            const int windowSize = globalParams.getInt("windowSize", -1);
            globalParams.clearReadLog();
            if (windowSize < 1)
                throw std::runtime_error("the block length (\"windowSize\" or --block) must be at least 1");
            cols = unsigned(windowSize);
        }
        const std::size_t blockLength = std::size_t(rows) * cols;
        if (matrixBlocks && samples.size() % blockLength != 0)
            throw std::runtime_error(options.input + ": " + std::to_string(samples.size()) +
                                     " floats are not a whole number of " + options.matrix + " blocks");

        const PluginLocator locator(options.pluginDirs);
        ModuleChain chain(stages, std::move(globalParams), locator);
        for (const ModuleStage& stage : chain.stages())
            for (const std::string& warning : stage.warnings()) reportError("warning: " + warning);

        std::string out;
        const std::size_t blockCount = (samples.size() + blockLength - 1) / blockLength;
        for (std::size_t b = 0; b < blockCount; ++b) {
            const std::size_t start = b * blockLength;
            const std::size_t length = std::min(blockLength, samples.size() - start);
            if (options.endOfStream && b + 1 == blockCount) chain.setEndOfStream();
            const BlockView result = matrixBlocks
                                         ? chain.process(samples.data() + start, rows, cols)
                                         : chain.process(samples.data() + start, 1, std::uint32_t(length));
            out += csvLine(result);
            if (out.size() > (1u << 16)) {
                std::fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
        }
        if (options.endOfStream && blockCount == 0) {
            chain.setEndOfStream();
            out += csvLine(chain.process(nullptr, 0, 0));
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw std::runtime_error("cannot write to standard output");
        return 0;
    } catch (const UsageError& error) {
        reportError(error.what());
        return 2;
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    }
}

}  // namespace zqx::host
