// The zqx command: extract features from audio files, run plug-in chains, describe plug-ins, draw
// results as HTML reports and play the built-in demonstration.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include "host/limits.h"
#include "host/commands/commands.h"

namespace zqx::host {

void reportError(const std::string& message) {
    std::fprintf(stderr, "zqx: %s\n", message.c_str());
    std::fflush(stderr);
}

}  // namespace zqx::host

int main(int argc, char** argv) {
    using namespace zqx::host;
    CLI::App app{"zqx: audio feature extraction with the zqx plug-ins"};
    app.require_subcommand(1);
    // --plugin-dir is accepted before and after the subcommand; the folders before it come first.
    auto addPluginDirOption = [](CLI::App* to, std::vector<std::string>& dirs) {
        to->add_option("--plugin-dir", dirs,
                       "folder searched for plug-ins first (repeatable); then ZQX_PLUGIN_PATH, the folder of zqx "
                       "and the installed plug-in folder")
            ->type_name("DIR")
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    std::vector<std::string> pluginDirs, subcommandPluginDirs;
    addPluginDirOption(&app, pluginDirs);
    // Finite values only: a NaN passes every range comparison.
    const CLI::Validator finite([](std::string& text) {
        return std::isfinite(std::strtod(text.c_str(), nullptr)) ? std::string() : "not a finite number: " + text;
    }, "FINITE");

    RunOptions run;
    CLI::App* runApp = app.add_subcommand("run", "drive a chain of plug-ins; one CSV line per returned block");
    runApp->add_option("--chain", run.chain, "plug-ins and parameters: 'name:key=value,... | name:...'")
        ->required();
    runApp->add_option("--global", run.globals, "globalParams: 'key=value,...' (samplingRate, windowSize, ...)");
    runApp->add_flag("--raw", run.raw, "input is raw little-endian float32 (FILE or - for stdin)");
    CLI::Option* matrixOption =
        runApp->add_option("--matrix", run.matrix, "matrix blocks of ROWSxCOLS floats, row by row");
    runApp->add_option("--block", run.block, "floats per vector block (default: windowSize)")
        ->check(CLI::Range(1u, unsigned(kMaxBlockFrames)))
        ->excludes(matrixOption);
    runApp->add_flag("--end-of-stream", run.endOfStream,
                     "call setEndOfStream on every plug-in before the final block");
    runApp->add_option("INPUT", run.input, "audio file, or raw float32 file or - with --raw")->required();
    addPluginDirOption(runApp, subcommandPluginDirs);

    InfoOptions info;
    CLI::App* infoApp = app.add_subcommand("info", "show a plug-in's texts; with parameters, an instance's answers");
    infoApp->add_option("PLUGIN", info.plugin, "plug-in name (zqx_tonewheel) or file")->required();
    infoApp->add_option("PARAMS", info.parameters, "moduleParams: 'key=value,...'");
    infoApp->add_option("--global", info.globals, "globalParams: 'key=value,...'");
    infoApp->add_flag("--create", info.create, "create an instance even without parameters");
    addPluginDirOption(infoApp, subcommandPluginDirs);

    ExtractOptions extract;
    CLI::App* extractApp = app.add_subcommand("extract", "run the standard feature chain on audio files");
    extractApp->add_option("FILES", extract.inputs,
                           "audio files (WAV, FLAC, Ogg, AIFF, MP3, ...), folders (walked for audio files) and .m3u "
                           "playlists")
        ->required();
    extractApp->add_option("-o,--output-dir", extract.outputDir, "folder for the result files (default: .)");
    extractApp->add_option("--rate", extract.rate, "resample to HZ with zqx_ratefold before the analysis")
        ->check(CLI::Range(kMinSampleRate, kMaxSampleRate));
    // One thread per processor core by default; with fewer files than jobs, each file's decoding and
    // its chroma stage get threads of their own.
    extract.jobs = int(std::clamp(std::thread::hardware_concurrency(), 1u, 1024u));
    extractApp->add_option("-j,--jobs", extract.jobs,
                           "threads: files analysed in parallel; fewer files than jobs also split each file's work "
                           "(default: the processor cores, " + std::to_string(extract.jobs) + ")")
        ->check(CLI::Range(1, 1024));
    extractApp->add_option("--set", extract.settings,
                           "override defaults: 'zqx_tonewheel:numMaxima=20,...' (repeatable)")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    extractApp->add_flag("-q,--quiet", extract.quiet, "no progress display");
    extractApp->add_flag("--report", extract.report,
                         "also draw each result as NAME.html, and write index.html for several inputs");
    extractApp->add_flag("--skip-existing", extract.skipExisting,
                         "leave out inputs whose complete result set is already in the output folder");
    addPluginDirOption(extractApp, subcommandPluginDirs);

    DemoOptions demo;
    CLI::App* demoApp = app.add_subcommand("demo", "synthesise music (20 s), extract its features, summarise");
    demoApp->add_option("-o,--output-dir", demo.outputDir, "also write the result files (demo.json, ...) here");
    demoApp->add_option("--seconds", demo.seconds, "length of the music (default 20)")
        ->check(finite & CLI::Range(1.0, 3600.0));
    demoApp->add_option("--save-audio", demo.saveAudio, "also write the synthesised audio as a WAV file");
    addPluginDirOption(demoApp, subcommandPluginDirs);

    ReportOptions reportOptions;
    CLI::App* reportApp = app.add_subcommand("report", "draw result files as self-contained HTML pages");
    reportApp->add_option("RESULTS", reportOptions.inputs, "result JSON files written by zqx extract")->required();
    reportApp->add_option("-o,--output", reportOptions.output,
                          "one result: the page (default NAME.html beside it); several: the index "
                          "(default index.html), each result's page going beside it");
    reportApp->add_flag("--index", reportOptions.index, "write an index even for one result");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : 2;
    }

    pluginDirs.insert(pluginDirs.end(), subcommandPluginDirs.begin(), subcommandPluginDirs.end());
    try {
        if (runApp->parsed()) {
            run.pluginDirs = pluginDirs;
            return runCommand(run);
        }
        if (extractApp->parsed()) {
            extract.pluginDirs = pluginDirs;
            return extractCommand(extract);
        }
        if (demoApp->parsed()) {
            demo.pluginDirs = pluginDirs;
            return demoCommand(demo);
        }
        if (reportApp->parsed()) return reportCommand(reportOptions);
        if (infoApp->parsed()) {
            info.pluginDirs = pluginDirs;
            return infoCommand(info);
        }
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    } catch (...) {
        reportError("unexpected failure");
        return 1;
    }
    return 2;
}
