// The standard extract chain and the column names of its streams.
#include "host/extract_table.h"

namespace zqx::host {

namespace {

const char* const kPitchClassNames[12] = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};

int intValue(const ParameterMap& parameters, const std::string& name) {
    const auto found = parameters.values().find(name);
    if (found == parameters.values().end()) return 0;
    if (const int* i = std::get_if<int>(&found->second)) return *i;
    if (const double* d = std::get_if<double>(&found->second)) return static_cast<int>(*d);
    return 0;
}

// The peak half then the mean half, one value per pitch class.
std::vector<std::string> chromaColumns(std::size_t width, int, const ParameterMap&) {
    std::vector<std::string> names;
    if (width == 24 || width == 12) {
        for (std::size_t i = 0; i < width; ++i)
            names.push_back(width == 12 ? kPitchClassNames[i]
                                        : std::string(i < 12 ? "peak_" : "mean_") + kPitchClassNames[i % 12]);
    }
    return names;
}

// A score per band, 15 statistics, then the periodicity profile from lag 6000 / hiBPM on.
std::vector<std::string> rhythmColumns(std::size_t width, int bands, const ParameterMap& parameters) {
    const int hiBPM = intValue(parameters, "hiBPM");
    const long lagCount = long(width) - bands - 15;
    if (lagCount <= 0 || hiBPM <= 0) return {};
    std::vector<std::string> names;
    for (int b = 0; b < bands; ++b) names.push_back("band_score_" + std::to_string(b));
    for (const char* name : {"score_mean", "score_std", "score_centroid", "score_contrast", "score_rms_to_peak",
                             "profile_centroid", "profile_contrast", "profile_rms_to_peak", "profile_zero_fraction",
                             "profile_mean", "profile_std", "onset_rate_1T", "onset_rate_2T", "onset_rate_3T",
                             "onset_rate_4T"})
        names.push_back(name);
    const int minLag = 6000 / hiBPM;
    for (long i = 0; i < lagCount; ++i) names.push_back("lag_" + std::to_string(minLag + i));
    return names;
}

// FFT mode analyses the largest power of two strictly below the block length and never looks at
// the rest, so it is handed one sample more than that frame, and frames follow each other without
// gap. MRFFT mode analyses the whole block: tonalscan reads 2B samples from each of its starts,
// B apart, the last one 2B before the block's end (GoldenOutput.ExtractGivesTheReviewedStreams,
// FeatureChain.ChromaFramesTileTheStream).
FrameCut chromaFrameCut(std::size_t windowSize, const ParameterMap& parameters) {
    const auto mode = parameters.values().find("useMRFFT");
    const bool* mrfft = mode == parameters.values().end() ? nullptr : std::get_if<bool>(&mode->second);
    if (mrfft && *mrfft) return {windowSize, windowSize, windowSize};
    std::size_t frame = 1;
    while (frame * 2 <= windowSize) frame *= 2;
    return {frame, frame + 1, frame};
}

std::vector<std::string> dynamicsColumns(std::size_t, int, const ParameterMap&) { return {"dynamic_range"}; }

}  // namespace

const std::vector<ExtractStage>& standardExtractTable() {
    // zqx_ratefold comes first: it rewrites the rate and frame sizes that the later modules read.
    // zqx_tonewheel refuses rates below 22050 Hz (its constructor); lowestRate lets such a file be
    // resampled instead of lost (GoldenOutput.ExtractGivesTheReviewedStreams, extract_8k).
    // zqx_swellgrid's "size" is the number of bands, so its level is the mean over all bands; it
    // reads power-law levels, so its dynamic range is the same at any gain
    // (ZqxExtract.DynamicRangeDoesNotChangeWithGain).
    static const std::vector<ExtractStage> table{
        {"zqx_ratefold",
         {{"antiAliasFilter", true}},
         BlockCut::Resample,
         "",
         {{"inSampRate", ChainValue::InputRate, true}, {"outSampRate", ChainValue::AnalysisRate, true}}},
        {"zqx_tonewheel",
         {{"loedge", 100}, {"hiedge", 5000}, {"earTransfer", true}, {"numMaxima", 10}, {"useMRFFT", true}},
         BlockCut::SampleBlocks,
         "chroma",
         {},
         "",
         22050,
         chromaColumns,
         BandScale::Logarithmic,
         chromaFrameCut},
        {"zqx_pulsegrid",
         {{"groupFrames", 400}, {"hanningLen", 5}, {"onsetThresh", 0.1}, {"loBPM", 60}, {"hiBPM", 200}},
         BlockCut::BandFrameGroups,
         "rhythm",
         {},
         "groupFrames",
         0,
         rhythmColumns},
        {"zqx_swellgrid",
         {{"hanningLen", 50}, {"offset", 0}, {"frameDuration", 10.0}},
         BlockCut::BandFramesToEnd,
         "dynamics",
         {{"size", ChainValue::BandCount, false}},
         "",
         0,
         dynamicsColumns,
         BandScale::PowerLaw},
    };
    return table;
}

}  // namespace zqx::host
