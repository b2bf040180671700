// zqx extract: the standard feature chain over audio files, in parallel, with result files per
// input that appear whole or not at all.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

#include "host/audio_file.h"
#include "host/commands/commands.h"
#include "host/corpus_inputs.h"
#include "host/decode_ahead.h"
#include "host/feature_chain.h"
#include "host/feature_report.h"
#include "host/interrupt.h"
#include "host/output_names.h"
#include "host/output_writer.h"
#include "host/progress.h"
#include "host/result_summary.h"
#include "host/summary_table.h"
#include "report/corpus_index.h"
#include "report/file_report.h"

namespace zqx::host {

namespace {

struct Job {
    std::string input;
    std::string stem;  // relative to the output folder, '/'-separated
    bool failed = false;
    bool completed = false;
    bool skipped = false;
    double audioSeconds = 0.0;
    std::unique_ptr<HtmlReportRequest> html;  // with --report: the page's request and what it drew
};

const char* const kIndexName = "index.html";

// The link from the page of stem to the index in the output folder ("../index.html" one folder down).
std::string indexLinkFor(const std::string& stem) {
    std::string link;
    for (char c : stem)
        if (c == '/') link += "../";
    return link + kIndexName;
}

// Output names as the input list gives them (CorpusInput::name), made unique over the run.
void assignStems(std::vector<Job>& jobs) {
    std::vector<std::string> wanted;
    for (const Job& job : jobs) wanted.push_back(job.stem);
    const std::vector<std::string> names = uniqueOutputNames(wanted);
    for (std::size_t i = 0; i < jobs.size(); ++i) jobs[i].stem = names[i];
}

std::string withPath(const std::string& path, const std::string& message) {
    return message.rfind(path, 0) == 0 ? message : path + ": " + message;
}

// spareCore: a core that no other file uses; the file is decoded, its chroma stage run and its
// loudness measured on threads of their own while this one runs the rest of the chain. Without
// one, everything runs on this thread (--jobs 1, or as many files as jobs).
void extractOne(Job& job, const std::string& outputDir, const FeatureChainPlan& plan, SummaryTable& table,
                bool spareCore) {
    AudioReader reader(job.input);
    // Results of inputs in sub-folders go to the same sub-folders of the output folder; the rows
    // are written there as they come. The output folder itself was checked before the first file.
    if (job.stem.find('/') != std::string::npos)
        ensureWritableDirectory((std::filesystem::path(outputDir) / job.stem).parent_path().string());
    ResultSummariser summariser(reader.channels(), reader.sampleRate(), spareCore);
    FeatureReportWriter writer(outputDir, job.stem, plan.settings());
    ListenerPair listeners(summariser, writer);
    FeatureChain chain(plan, reader.sampleRate(), &listeners, false);
    if (spareCore) chain.overlapSampleStages();
    summariser.reserveFor(chain, reader.durationSeconds());
    constexpr std::size_t kChunkFrames = std::size_t{1} << 16;
    if (spareCore) {
        // Two chunks decoded ahead keep the analysis fed through the decoder's uneven pace.
        DecodeAhead decoder(reader, kChunkFrames, 2);
        std::vector<float> chunk, frames;
        while (decoder.next(chunk, frames)) {
            if (InterruptWatch::requested()) throw Interrupted{};
            summariser.addInputAudio(frames.data(), chunk.size());
            chain.push(chunk.data(), chunk.size());
        }
    } else {
        std::vector<float> chunk(kChunkFrames);
        while (const std::size_t n = reader.read(chunk.data(), chunk.size())) {
            if (InterruptWatch::requested()) throw Interrupted{};
            summariser.addInputAudio(reader.interleaved(), n);
            chain.push(chunk.data(), n);
        }
    }
    chain.finish();
    if (InterruptWatch::requested()) throw Interrupted{};
    job.audioSeconds = reader.durationSeconds();
    const ResultSummary summary = summariser.summarise(chain);

    InputDescription input;
    input.path = job.input;
    input.format = reader.formatName();
    input.sampleRate = reader.sampleRate();
    input.channels = reader.channels();
    input.frames = reader.frames();
    writer.commit(input, chain, summary);
    if (job.html) {
        // The page is drawn from the JSON just written, so it shows exactly what the file says; a
        // page that cannot be written fails the input but leaves its results in place.
        const std::string base = (std::filesystem::path(outputDir) / job.stem).string();
        job.html->drawn = report::loadResultDocument(base + ".json");
        report::FileReportOptions pageOptions;
        pageOptions.indexLink = job.html->indexLink;
        pageOptions.resultName = std::filesystem::path(base).filename().string() + ".json";
        writeFileAtomically(base + ".html", report::renderFileReport(job.html->drawn, pageOptions));
        job.html->drawn.dropStreams();
    }
    // The row follows the files it summarises, so the table never names a result that is missing.
    table.append(summaryTableRow(input, summary));
    job.completed = true;
}

// With --skip-existing and --report: the page of results that exist, from their JSON.
void drawExisting(Job& job, const std::string& outputDir) {
    const std::filesystem::path base = std::filesystem::path(outputDir) / job.stem;
    job.html->drawn = report::loadResultDocument(base.string() + ".json");
    const std::string page = base.string() + ".html";
    if (!std::filesystem::is_regular_file(page)) {
        report::FileReportOptions pageOptions;
        pageOptions.indexLink = job.html->indexLink;
        pageOptions.resultName = base.filename().string() + ".json";
        writeFileAtomically(page, report::renderFileReport(job.html->drawn, pageOptions));
    }
    job.html->drawn.dropStreams();
}

}  // namespace

int extractCommand(const ExtractOptions& options) {
    FeatureChainSettings settings;
    std::vector<Job> jobs;
    PluginLocator locator(options.pluginDirs);
    std::unique_ptr<FeatureChainPlan> plan;
    std::unique_ptr<SummaryTable> table;
    try {
        if (options.inputs.empty()) throw std::runtime_error("no input files given");
        if (options.rate < 0) throw std::runtime_error("--rate must be a positive number of Hz");
        if (options.jobs < 1) throw std::runtime_error("--jobs must be at least 1");
        settings.targetRate = options.rate;
        for (const std::string& text : options.settings) {
            for (const ChainStage& stage : parseChainSpec(text)) {
                if (stage.plugin != "zqx_ratefold") continue;
                if (options.rate == 0) throw ChainSpecError("--set zqx_ratefold:... takes effect only with --rate");
                for (const auto& [key, value] : stage.parameters)
                    if (key == "inSampRate" || key == "outSampRate")
                        throw ChainSpecError("zqx_ratefold:" + key + " is set by zqx extract itself (from the "
                                             "file's rate and --rate)");
            }
            settings.override(text);
        }
        // Every plug-in of the chain must be there; none is ever left out quietly. Each is loaded
        // once, for every file and thread.
        plan = std::make_unique<FeatureChainPlan>(settings, locator);
        // The chain built once before the first file: a broken plug-in or a parameter a module
        // refuses stops the run here with one line, instead of failing every file.
        const FeatureChain trial(*plan, options.rate > 0 ? options.rate : 44100);
        for (const ModuleStage& stage : trial.modules().stages())
            for (const std::string& warning : stage.warnings()) reportError("warning: " + warning);
        ensureWritableDirectory(options.outputDir);
        table = std::make_unique<SummaryTable>(options.outputDir);
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    }
    try {
        for (const CorpusInput& input : expandCorpusInputs(options.inputs))
            jobs.push_back({input.path, input.name, false, false, false, 0.0, nullptr});
        if (jobs.empty()) throw std::runtime_error("no audio files among the inputs");
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    }
    assignStems(jobs);
    const bool index = options.report && jobs.size() > 1;
    if (options.report)
        for (Job& job : jobs) {
            job.html = std::make_unique<HtmlReportRequest>();
            if (index) job.html->indexLink = indexLinkFor(job.stem);
        }
    std::size_t skipped = 0;
    if (options.skipExisting) {
        for (Job& job : jobs) {
            const auto files = featureReportFiles(options.outputDir, job.stem, plan->settings());
            job.skipped = std::all_of(files.begin(), files.end(),
                                      [](const std::string& file) { return std::filesystem::is_regular_file(file); });
            skipped += job.skipped;
        }
    }

    const bool terminal = ProgressDisplay::stderrIsTerminal() && !options.quiet;
    ProgressDisplay progress(jobs.size(), terminal);
    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    const InterruptWatch interrupts;
    const std::size_t threads = std::min<std::size_t>(std::size_t(options.jobs), jobs.size());
    // Jobs beyond one per file (a long file with --jobs 2) decode ahead of the analysis and run the
    // chroma stage beside the rest of the chain.
    const bool spareCore = std::size_t(options.jobs) >= 2 * threads;
    auto worker = [&] {
        for (std::size_t i = next++; i < jobs.size() && !InterruptWatch::requested(); i = next++) {
            Job& job = jobs[i];
            if (job.skipped) {
                if (job.html) {
                    // Its results exist: draw them if their page is missing, and index them.
                    try {
                        drawExisting(job, options.outputDir);
                    } catch (const std::exception& error) {
                        job.failed = true;
                        progress.message("zqx: " + withPath(job.input, error.what()));
                    }
                }
                progress.fileDone(0.0);
                continue;
            }
            try {
                extractOne(job, options.outputDir, *plan, *table, spareCore);
            } catch (const Interrupted&) {
                break;  // the file in hand is discarded; nothing of it was written
            } catch (const std::exception& error) {
                job.failed = true;
                progress.message("zqx: " + withPath(job.input, error.what()));
            } catch (...) {
                job.failed = true;
                progress.message("zqx: " + job.input + ": unexpected failure");
            }
            progress.fileDone(job.audioSeconds);
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
    progress.close();
    try {
        table->sort();
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    }

    // The index lists what is drawn, also when an interrupt stopped the run part-way.
    if (index) {
        std::vector<report::IndexEntry> entries;
        for (Job& job : jobs)
            if (!job.failed && (job.completed || job.skipped))
                entries.push_back({report::percentEncodePath(job.stem + ".html"), std::move(job.html->drawn)});
        try {
            writeFileAtomically((std::filesystem::path(options.outputDir) / kIndexName).string(),
                                report::renderCorpusIndex(entries));
        } catch (const std::exception& error) {
            reportError(error.what());
            return 1;
        }
    }

    if (InterruptWatch::requested()) {
        const auto completed = std::count_if(jobs.begin(), jobs.end(), [](const Job& j) { return j.completed; });
        reportError(std::string("stopped by ") + InterruptWatch::signalName() + " after completing " +
                    std::to_string(completed) + " of " + std::to_string(jobs.size()) + " files");
        return InterruptWatch::exitStatus();
    }
    const auto failed = std::count_if(jobs.begin(), jobs.end(), [](const Job& j) { return j.failed; });
    if (failed > 0) {
        reportError(std::to_string(failed) + " of " + std::to_string(jobs.size()) + " files failed");
        return 1;
    }
    if (skipped > 0 && !options.quiet)
        std::fprintf(stderr, "zqx: %zu of %zu files skipped: their results exist\n", skipped, jobs.size());
    if (terminal) {
        double audio = 0.0;
        for (const Job& job : jobs) audio += job.audioSeconds;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "zqx: %zu files, %.1f s of audio in %.1f s (%.0fx real time)\n", jobs.size(), audio,
                     seconds, seconds > 0 ? audio / seconds : 0.0);
    }
    return 0;
}

}  // namespace zqx::host
