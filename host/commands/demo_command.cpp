// zqx demo: synthesises a short piece with known chords, tempo and crescendo, runs the standard
// feature chain on it and tells what the features say.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <numeric>
#include <sndfile.h>

#include "host/commands/commands.h"
#include "host/demo_signal.h"
#include "host/feature_chain.h"
#include "host/feature_report.h"
#include "host/output_writer.h"

namespace zqx::host {

namespace {

const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string classList(const std::vector<int>& classes) {
    std::string text;
    for (int c : classes) text += (text.empty() ? "" : " ") + std::string(kNames[c]);
    return text;
}

// The three strongest pitch classes of the peak half, averaged over the blocks centred in the chord.
std::vector<int> strongestClasses(const FeatureStream& chroma, int blockLength, int rate, const DemoChord& chord) {
    std::array<double, 12> sum{};
    for (std::size_t r = 0; r < chroma.rows(); ++r) {
        const double centre = chroma.times[r] + 0.5 * blockLength / rate;
        if (centre < chord.start || centre >= chord.end || chroma.width < 12) continue;
        for (int c = 0; c < 12; ++c) sum[std::size_t(c)] += chroma.row(r)[c];
    }
    std::vector<int> order(12);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sum[std::size_t(a)] > sum[std::size_t(b)]; });
    order.resize(3);
    return order;
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

        FeatureChain chain(plan, demo.sampleRate);
        const std::size_t chunk = 1 << 16;
        for (std::size_t at = 0; at < demo.samples.size(); at += chunk)
            chain.push(demo.samples.data() + at, std::min(chunk, demo.samples.size() - at));
        chain.finish();

        std::string out;
        char line[256];
        std::snprintf(line, sizeof line,
                      "zqx demo: %.1f s of synthesised music at %d Hz: C - Am - F - G at %.0f BPM, a kick on every "
                      "beat, a crescendo\n\n",
                      double(demo.samples.size()) / demo.sampleRate, demo.sampleRate, demo.bpm);
        out += line;
        out += "chords (strongest pitch classes of the chroma peak half, zqx_tonewheel):\n";
        int chordsRight = 0;
        for (const DemoChord& chord : demo.chords) {
            const FeatureStream& chroma = chain.stream("chroma");
            std::vector<int> found =
                strongestClasses(chroma, int(chroma.fact("blockLength")), chain.analysisRate(), chord);
            std::vector<int> expected(chord.pitchClasses.begin(), chord.pitchClasses.end());
            std::vector<int> a = found, b = expected;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            const bool right = a == b;
            chordsRight += right;
            std::snprintf(line, sizeof line, "  %5.1f - %5.1f s  %-3s found %-9s chord tones %-9s %s\n", chord.start,
                          chord.end, chord.name.c_str(), classList(found).c_str(), classList(expected).c_str(),
                          right ? "ok" : "MISMATCH");
            out += line;
        }

        // The periodicity profile sits at the end of each rhythm vector, lag 6000 / hiBPM first.
        const FeatureStream& rhythm = chain.stream("rhythm");
        const int bands = chain.frontEnd().bandCount();
        const long lagCount = long(rhythm.width) - bands - 15;
        // The first lag column is named for its lag in frames, "lag_<6000 / hiBPM>".
        const std::string firstLag = lagCount > 0 ? rhythm.columns[std::size_t(bands) + 15] : "";
        const int minLag = firstLag.rfind("lag_", 0) == 0 ? std::atoi(firstLag.c_str() + 4) : 0;
        out += "\ntempo (periodicity profile peak, zqx_pulsegrid): ";
        if (rhythm.rows() == 0 || lagCount <= 0 || minLag <= 0) {
            out += "no rhythm vectors\n";
        } else {
            std::vector<double> profile(std::size_t(lagCount), 0.0);
            for (std::size_t r = 0; r < rhythm.rows(); ++r)
                for (long i = 0; i < lagCount; ++i) profile[std::size_t(i)] += rhythm.row(r)[bands + 15 + i];
            const long peak = long(std::max_element(profile.begin(), profile.end()) - profile.begin());
            const int lag = minLag + int(peak);
            std::snprintf(line, sizeof line, "%.0f BPM (lag %d frames of 10 ms, over %zu groups of %d frames)\n",
                          6000.0 / lag, lag, rhythm.rows(), int(rhythm.fact("framesPerGroup")));
            out += line;
        }
        out += "dynamic range (zqx_swellgrid): ";
        const FeatureStream& dynamics = chain.stream("dynamics");
        if (dynamics.rows() == 0) {
            out += "no value\n";
        } else {
            std::snprintf(line, sizeof line,
                          "%.3f (spread of the smoothed band-level contour over its geometric mean)\n",
                          double(dynamics.row(dynamics.rows() - 1)[0]));
            out += line;
        }
        std::snprintf(line, sizeof line, "\n%d of %zu chords right\n", chordsRight, demo.chords.size());
        out += line;

        if (!options.outputDir.empty()) {
            OutputBatch batch;
            InputDescription input{"(synthesised demo)", "synthesised", demo.sampleRate, 1,
                                   static_cast<long long>(demo.samples.size())};
            addFeatureReport(batch, options.outputDir, "demo", input, chain);
            batch.commit();
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
