// Running the extract chain on arrays and files, and writing its results as the zqx command does.
#include "python/native/extraction.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include "host/audio_file.h"
#include "host/feature_report.h"
#include "host/output_writer.h"

namespace zqx::python {

namespace {

// Keeps the band-energy frames as the chain computes them.
class BandRecorder : public host::FeatureListener {
public:
    void bandFrames(const float* rows, std::size_t count, int bands) override {
        m_bandCount = bands;
        m_values.insert(m_values.end(), rows, rows + count * std::size_t(bands));
    }
    int bandCount() const { return m_bandCount; }
    std::vector<float>& values() { return m_values; }

private:
    int m_bandCount = 0;
    std::vector<float> m_values;
};

// The document addFeatureReport() makes; the batch is never committed.
std::string documentText(const host::InputDescription& input, const host::FeatureChain& chain) {
    host::OutputBatch batch;
    host::addFeatureReport(batch, "", "result", input, chain);
    return batch.files().front().second;
}

Extraction extractionOf(const host::InputDescription& input, const host::FeatureChain& chain, BandRecorder& bands) {
    Extraction result;
    result.document = withoutStreamNumbers(documentText(input, chain));
    for (const host::FeatureStream& stream : chain.streams())
        result.streams.push_back({stream.name, stream.width, stream.values, stream.times});
    result.bandCount = bands.bandCount();
    result.bands = std::move(bands.values());
    return result;
}

}  // namespace

std::string withoutStreamNumbers(const std::string& document) {
    using Json = nlohmann::ordered_json;
    bool inFeatures = false;
    const auto keep = [&](int depth, Json::parse_event_t event, Json& parsed) {
        if (event != Json::parse_event_t::key) return true;
        if (depth == 1) inFeatures = parsed == "features";
        return !(inFeatures && depth == 3 && (parsed == "values" || parsed == "times"));
    };
    return Json::parse(document, keep).dump();
}

namespace {

// The zqx command reads files in chunks of this many frames.
constexpr std::size_t kChunk = 1 << 16;

// The chain run over the whole file as `zqx extract` reads it, and the input's description.
struct FileRun {
    host::InputDescription input;
    std::unique_ptr<host::FeatureChain> chain;
};

FileRun runFile(const host::FeatureChainPlan& plan, const std::string& path, host::FeatureListener* listener) {
    host::AudioReader reader(path);
    FileRun run;
    run.chain = std::make_unique<host::FeatureChain>(plan, reader.sampleRate(), listener);
    std::vector<float> chunk(kChunk);
    while (const std::size_t n = reader.read(chunk.data(), chunk.size())) run.chain->push(chunk.data(), n);
    run.chain->finish();
    run.input.path = path;
    run.input.format = reader.formatName();
    run.input.sampleRate = reader.sampleRate();
    run.input.channels = reader.channels();
    run.input.frames = reader.frames();
    return run;
}

}  // namespace

Extraction extractSamples(const host::FeatureChainPlan& plan, const float* samples, std::size_t n,
                          int sampleRate, const std::string& name) {
    BandRecorder recorder;
    host::FeatureChain chain(plan, sampleRate, &recorder);
    // Pushed in the chunks a file is read in, as the zqx command does.
    for (std::size_t start = 0; start < n; start += kChunk) chain.push(samples + start, std::min(kChunk, n - start));
    chain.finish();
    host::InputDescription input;
    input.path = name;
    input.format = "float32 samples";
    input.sampleRate = sampleRate;
    input.channels = 1;
    input.frames = static_cast<long long>(n);
    return extractionOf(input, chain, recorder);
}

Extraction extractFile(const host::FeatureChainPlan& plan, const std::string& path) {
    BandRecorder recorder;
    const FileRun run = runFile(plan, path, &recorder);
    return extractionOf(run.input, *run.chain, recorder);
}

std::vector<FileOutcome> extractFiles(const host::FeatureChainPlan& plan, const std::vector<std::string>& paths,
                                      int threads) {
    std::vector<FileOutcome> outcomes(paths.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < paths.size(); i = next++) {
            try {
                outcomes[i].extraction = extractFile(plan, paths[i]);
                outcomes[i].ok = true;
            } catch (const std::exception& error) {
                const std::string message = error.what();
                outcomes[i].error = message.rfind(paths[i], 0) == 0 ? message : paths[i] + ": " + message;
            } catch (...) {
                outcomes[i].error = paths[i] + ": unexpected failure";
            }
        }
    };
    const std::size_t count = std::min<std::size_t>(std::size_t(std::max(threads, 1)), paths.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < count; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
    return outcomes;
}

std::string extractFileTo(const host::FeatureChainPlan& plan, const std::string& path,
                          const std::string& outputDir, const std::string& stem) {
    const FileRun run = runFile(plan, path, nullptr);
    host::OutputBatch batch;
    host::addFeatureReport(batch, outputDir, stem, run.input, *run.chain);
    // Results of inputs in sub-folders go to the same sub-folders of the output folder.
    host::ensureWritableDirectory((std::filesystem::path(outputDir) / stem).parent_path().string());
    batch.commit();
    return withoutStreamNumbers(batch.files().front().second);
}

}  // namespace zqx::python
