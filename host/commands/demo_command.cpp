// zqx demo: synthesises a short piece with known chords, tempo and crescendo, runs the standard
// feature chain on it and prints the summary's answers beside what was played. The answers come
// from the summary alone; this file computes no feature of its own.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <sndfile.h>

#include "host/commands/commands.h"
#include "host/demo_signal.h"
#include "host/feature_chain.h"
#include "host/feature_report.h"
#include "host/output_writer.h"
#include "host/result_summary.h"
#include "summary/pitch_names.h"

namespace zqx::host {

namespace {

// The label the summary should give a played chord: its first tone is the root.
std::string expectedLabel(const DemoChord& chord) {
    const bool minor = !chord.name.empty() && chord.name.back() == 'm';
    return std::string(summary::pitchClassName(chord.pitchClasses[0])) + (minor ? ":min" : ":maj");
}

// The summary's label that covers most of [start, end).
std::string labelOver(const std::vector<summary::ChordSegment>& chords, double start, double end) {
    std::string best = "N";
    double bestOverlap = 0.0;
    for (const summary::ChordSegment& c : chords) {
        const double overlap = std::min(end, c.end) - std::max(start, c.start);
        if (overlap > bestOverlap) {
            bestOverlap = overlap;
            best = c.label;
        }
    }
    return best;
}

std::string orNone(double value, const char* format) {
    if (!std::isfinite(value)) return "none";
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void writeDemoAudio(const std::string& path, const DemoSignal& demo) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = demo.sampleRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const std::string temporary = path + ".partial";
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (!file) throw OutputError("cannot write '" + path + "': " + sf_strerror(nullptr));
    const sf_count_t frames = sf_count_t(demo.samples.size());
    const bool ok = sf_writef_float(file, demo.samples.data(), frames) == frames;
    sf_close(file);
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw OutputError("cannot write '" + path + "'");
    }
}

}  // namespace

int demoCommand(const DemoOptions& options) {
    try {
        const DemoSignal demo = synthesiseDemo(44100, options.seconds);
        const PluginLocator locator(options.pluginDirs);
        const FeatureChainPlan plan(FeatureChainSettings{}, locator);
        if (!options.outputDir.empty()) ensureWritableDirectory(options.outputDir);

        ResultSummariser summariser(1, demo.sampleRate);
        FeatureChain chain(plan, demo.sampleRate, &summariser);
        const std::size_t chunk = 1 << 16;
        for (std::size_t at = 0; at < demo.samples.size(); at += chunk) {
            const std::size_t n = std::min(chunk, demo.samples.size() - at);
            summariser.addInputAudio(demo.samples.data() + at, n);
            chain.push(demo.samples.data() + at, n);
        }
        chain.finish();
        const ResultSummary result = summariser.summarise(chain);

        std::string out;
        char line[256];
        std::snprintf(line, sizeof line,
                      "zqx demo: %.1f s of synthesised music at %d Hz: C - Am - F - G at %.0f BPM, a kick on every "
                      "beat, a crescendo\n\n",
                      double(demo.samples.size()) / demo.sampleRate, demo.sampleRate, demo.bpm);
        out += line;

        const summary::TempoEstimate& tempo = result.tempo;
        std::snprintf(line, sizeof line, "tempo          %s BPM, confidence %.2f, %s (played %.0f BPM)\n",
                      tempo.bpm > 0.0 ? orNone(tempo.bpm, "%.1f").c_str() : "none", tempo.confidence,
                      tempo.steady ? "steady" : "not steady", demo.bpm);
        out += line;
        std::string others;
        for (std::size_t i = 1; i < tempo.candidates.size(); ++i)
            others += (others.empty() ? "" : ", ") + orNone(tempo.candidates[i].bpm, "%.1f") + " (" +
                      orNone(tempo.candidates[i].weight, "%.2f") + ")";
        if (!others.empty()) out += "               other levels: " + others + "\n";
        std::snprintf(line, sizeof line, "key            %s, confidence %.2f (played C major)\n",
                      result.key.found ? result.key.name.c_str() : "none", result.key.confidence);
        out += line;

        out += "chords         played   summary\n";
        int chordsRight = 0;
        for (const DemoChord& chord : demo.chords) {
            const std::string expected = expectedLabel(chord), found = labelOver(result.chords, chord.start, chord.end);
            const bool right = expected == found;
            chordsRight += right;
            std::snprintf(line, sizeof line, "  %5.1f - %5.1f s  %-7s  %-7s  %s\n", chord.start, chord.end,
                          expected.c_str(), found.c_str(), right ? "ok" : "MISMATCH");
            out += line;
        }
        std::snprintf(line, sizeof line, "loudness       %s LUFS integrated, range %.1f LU, sample peak %s dBFS\n",
                      orNone(result.loudness.integratedLufs, "%.1f").c_str(), result.loudness.rangeLu,
                      orNone(result.loudness.samplePeakDbfs, "%.1f").c_str());
        out += line;
        std::snprintf(line, sizeof line,
                      "dynamic range  %s (spread of the smoothed level over its geometric mean; a crescendo)\n",
                      result.dynamicRange ? orNone(*result.dynamicRange, "%.3f").c_str() : "none");
        out += line;
        std::snprintf(line, sizeof line, "\n%d of %zu chords right\n", chordsRight, demo.chords.size());
        out += line;

        if (!options.outputDir.empty()) {
            InputDescription input{"(synthesised demo)", "synthesised", demo.sampleRate, 1,
                                   static_cast<long long>(demo.samples.size())};
            writeFeatureReport(options.outputDir, "demo", input, chain, result);
        }
        if (!options.saveAudio.empty()) writeDemoAudio(options.saveAudio, demo);
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write to standard output");
        return 0;
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    }
}

}  // namespace zqx::host
