// Running the extract chain on arrays and files, and writing its results as the zqx command does.
#include "python/native/extraction.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "host/audio_file.h"
#include "host/feature_report.h"
#include "host/output_writer.h"
#include "host/result_summary.h"

namespace zqx::python {

namespace {

// The zqx command's summariser, also keeping the band-energy frames as the chain computes them.
class RecordingSummariser : public host::ResultSummariser {
public:
    using host::ResultSummariser::ResultSummariser;

    void bandFrames(const float* rows, std::size_t count, int bands) override {
        host::ResultSummariser::bandFrames(rows, count, bands);
        if (!m_recording) return;
        m_bandCount = bands;
        m_values.insert(m_values.end(), rows, rows + count * std::size_t(bands));
    }
    void stopRecording() { m_recording = false; }
    int bandCount() const { return m_bandCount; }
    std::vector<float>& values() { return m_values; }

private:
    bool m_recording = true;
    int m_bandCount = 0;
    std::vector<float> m_values;
};

std::string readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file && !file.eof()) throw host::OutputError("cannot read back '" + path + "'");
    return text.str();
}

// The zqx command reads files in chunks of this many frames.
constexpr std::size_t kChunk = 1 << 16;

// The chain and summary of a whole input, and its description.
struct Run {
    host::InputDescription input;
    std::unique_ptr<RecordingSummariser> summariser;
    std::unique_ptr<host::FeatureChain> chain;
    host::ResultSummary summary;
};

// The file read as `zqx extract` reads it: in chunks, the summariser seeing the input's own
// channels, the chain the mono mix.
Run runFile(const host::FeatureChainPlan& plan, const std::string& path) {
    host::AudioReader reader(path);
    Run run;
    run.summariser = std::make_unique<RecordingSummariser>(reader.channels(), reader.sampleRate());
    run.chain = std::make_unique<host::FeatureChain>(plan, reader.sampleRate(), run.summariser.get());
    std::vector<float> chunk(kChunk);
    while (const std::size_t n = reader.read(chunk.data(), chunk.size())) {
        run.summariser->addInputAudio(reader.interleaved(), n);
        run.chain->push(chunk.data(), n);
    }
    run.chain->finish();
    run.summary = run.summariser->summarise(*run.chain);
    run.input.path = path;
    run.input.format = reader.formatName();
    run.input.sampleRate = reader.sampleRate();
    run.input.channels = reader.channels();
    run.input.frames = reader.frames();
    return run;
}

// The document the zqx command writes for the run, without the streams' numbers. The host writes
// documents only as files (streamed, for inputs of any length), so it is written into a private
// temporary folder and read back.
std::string documentText(const Run& run) {
    namespace fs = std::filesystem;
    static std::atomic<unsigned long> counter{0};
    const fs::path folder = fs::temp_directory_path() /
                            ("zqx-python-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(folder);
    struct Cleanup {
        fs::path folder;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    } cleanup{folder};
    host::writeFeatureReport(folder.string(), "result", run.input, *run.chain, run.summary);
    return withoutStreamNumbers(readWhole((folder / "result.json").string()));
}

Extraction extractionOf(Run& run) {
    Extraction result;
    result.document = documentText(run);
    for (const host::FeatureStream& stream : run.chain->streams())
        result.streams.push_back({stream.name, stream.width, stream.values, stream.times});
    result.bandCount = run.summariser->bandCount();
    result.bands = std::move(run.summariser->values());
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

Extraction extractSamples(const host::FeatureChainPlan& plan, const float* samples, std::size_t n,
                          int sampleRate, const std::string& name) {
    Run run;
    run.summariser = std::make_unique<RecordingSummariser>(1, sampleRate);
    run.chain = std::make_unique<host::FeatureChain>(plan, sampleRate, run.summariser.get());
    // Pushed in the chunks a file is read in, as the zqx command does.
    for (std::size_t start = 0; start < n; start += kChunk) {
        const std::size_t length = std::min(kChunk, n - start);
        run.summariser->addInputAudio(samples + start, length);
        run.chain->push(samples + start, length);
    }
    run.chain->finish();
    run.summary = run.summariser->summarise(*run.chain);
    run.input.path = name;
    run.input.format = "float32 samples";
    run.input.sampleRate = sampleRate;
    run.input.channels = 1;
    run.input.frames = static_cast<long long>(n);
    return extractionOf(run);
}

Extraction extractFile(const host::FeatureChainPlan& plan, const std::string& path) {
    Run run = runFile(plan, path);
    return extractionOf(run);
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

WrittenResult extractFileTo(const host::FeatureChainPlan& plan, const std::string& path,
                            const std::string& outputDir, const std::string& stem) {
    // As `zqx extract` does it: rows streamed into the result files as they come, the files
    // renamed into place together once complete, then the summary.csv row.
    host::AudioReader reader(path);
    host::ensureWritableDirectory((std::filesystem::path(outputDir) / stem).parent_path().string());
    RecordingSummariser summariser(reader.channels(), reader.sampleRate());
    summariser.stopRecording();
    host::FeatureReportWriter writer(outputDir, stem, plan.settings());
    host::ListenerPair listeners(summariser, writer);
    host::FeatureChain chain(plan, reader.sampleRate(), &listeners, false);
    std::vector<float> chunk(kChunk);
    while (const std::size_t n = reader.read(chunk.data(), chunk.size())) {
        summariser.addInputAudio(reader.interleaved(), n);
        chain.push(chunk.data(), n);
    }
    chain.finish();
    const host::ResultSummary summary = summariser.summarise(chain);
    host::InputDescription input;
    input.path = path;
    input.format = reader.formatName();
    input.sampleRate = reader.sampleRate();
    input.channels = reader.channels();
    input.frames = reader.frames();
    writer.commit(input, chain, summary);
    const std::string document = (std::filesystem::path(outputDir) / (stem + ".json")).string();
    return {withoutStreamNumbers(readWhole(document)), host::summaryTableRow(input, summary)};
}

}  // namespace zqx::python
