// Result documents made in the tests, shaped as `zqx extract` writes them, and the hand-written
// summary object that the summary panels are checked against.
#pragma once

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <string>

namespace zqx::test {

using nlohmann::ordered_json;

// The hand-written summary: tempo 120 BPM with candidates 60, 240 (outside the default lag range)
// and 80, key C major, five chord segments (the last one 0.05 s, too narrow for its label),
// loudness and dynamic range.
inline ordered_json handWrittenSummary() {
    std::ifstream in(ZQX_REPORT_FIXTURES "/summary.json");
    return ordered_json::parse(in);
}

// A result of `seconds` of audio at 44.1 kHz: chroma blocks of 4096 samples whose peak half has
// pitch class (block % 12) strongest, rhythm groups of 4 s with lags 30..99 peaking at lag 50,
// band energies per 100 ms with a level rising over time, three modules' settings.
inline ordered_json makeResult(double seconds, bool withSummary) {
    ordered_json doc;
    doc["file"] = "music/piece.wav";
    doc["format"] = "WAV (Microsoft) / Signed 16 bit PCM";
    doc["sampleRate"] = 44100;
    doc["channels"] = 2;
    doc["frames"] = static_cast<long long>(seconds * 44100);
    doc["durationSeconds"] = seconds;
    doc["analysisSampleRate"] = 44100;
    doc["bandEnergy"] = {{"framePeriodSeconds", 0.01}, {"bands", 24}};
    std::vector<double> edges = {0, 100, 200, 300, 400, 510, 630, 770, 920, 1080, 1270, 1480, 1720,
                                 2000, 2320, 2700, 3150, 3700, 4400, 5300, 6400, 7700, 9500, 12000, 15500};
    doc["bandEnergy"]["bandEdgesHz"] = edges;
    doc["modules"] = ordered_json::array();
    doc["modules"].push_back({{"name", "zqx_tonewheel"}, {"info", {{"version", "2.0"}}},
                              {"moduleParams", {{"loedge", 100}, {"useMRFFT", false}}},
                              {"globalParams", {{"samplingRate", 44100}, {"windowSize", 4096}}}});
    doc["modules"].push_back({{"name", "zqx_pulsegrid"}, {"moduleParams", {{"groupFrames", 400}}}});

    ordered_json chroma;
    chroma["plugin"] = "zqx_tonewheel";
    const char* names[12] = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};
    for (int h = 0; h < 2; ++h)
        for (const char* n : names) chroma["columns"].push_back(std::string(h ? "mean_" : "peak_") + n);
    const int blocks = static_cast<int>(std::ceil(seconds * 44100 / 4096));
    chroma["times"] = ordered_json::array();
    chroma["values"] = ordered_json::array();
    for (int b = 0; b < blocks; ++b) {
        chroma["times"].push_back(b * 4096.0 / 44100);
        std::vector<float> row(24, 0.1f);
        row[std::size_t(b % 12)] = 4.0f;
        row[12 + std::size_t((b + 7) % 12)] = 2.0f;
        chroma["values"].push_back(row);
    }
    chroma["blockLength"] = 4096;

    ordered_json rhythm;
    for (int b = 0; b < 24; ++b) rhythm["columns"].push_back("band_score_" + std::to_string(b));
    for (int lag = 30; lag <= 99; ++lag) rhythm["columns"].push_back("lag_" + std::to_string(lag));
    rhythm["times"] = ordered_json::array();
    rhythm["values"] = ordered_json::array();
    for (int g = 0; g < static_cast<int>(seconds / 4); ++g) {
        rhythm["times"].push_back(g * 4.0);
        std::vector<float> row(24 + 70, 0.0f);
        row[24 + 20] = 0.8f;  // lag 50: 120 BPM
        row[24 + 70 - 1] = 0.3f;  // lag 99
        rhythm["values"].push_back(row);
    }
    rhythm["framesPerGroup"] = 400;

    ordered_json bands;
    bands["times"] = ordered_json::array();
    bands["values"] = ordered_json::array();
    const int rows = static_cast<int>(std::ceil(seconds * 10));
    for (int r = 0; r < rows; ++r) {
        bands["times"].push_back(r * 0.1);
        std::vector<double> row(24);
        for (int b = 0; b < 24; ++b) row[std::size_t(b)] = std::log1p(1e6 * 0.01 * (1.0 + r) / rows / (1 + b));
        bands["values"].push_back(row);
    }
    bands["framesPerRow"] = 10;

    doc["features"]["chroma"] = chroma;
    doc["features"]["rhythm"] = rhythm;
    doc["features"]["dynamics"] = {{"times", {0.0}}, {"values", {{1.5}}}, {"value", 1.5}};
    doc["features"]["bandEnergy"] = bands;
    if (withSummary) doc["summary"] = handWrittenSummary();
    return doc;
}

}  // namespace zqx::test
