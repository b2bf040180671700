// The extract chain as data: which plug-ins `zqx extract` runs, with which parameters, on which
// blocks, and which feature stream each one feeds. A plug-in joins the chain by one entry here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/chain_spec.h"
#include "host/parameter_map.h"

namespace zqx::host {

// How the chain cuts the blocks a stage receives.
enum class BlockCut {
    // The stream's samples in blocks of "windowSize" as the stage saw it; what the stage returns
    // becomes the stream that every later stage reads. Runs only when the analysis rate is not the
    // input rate.
    Resample,
    // The (resampled) stream in blocks of "windowSize" as the stage saw it, or as its FrameCutter
    // says, each as one row of samples; the last block is completed with zeros. Time stamp: the
    // block's first sample.
    SampleBlocks,
    // The band-energy frames (one every 10 ms) in groups of the stage's `framesParameter` frames, as
    // a frames x bands matrix; frames after the last whole group are left out. Time stamp: the
    // group's first frame.
    BandFrameGroups,
    // Every band-energy frame as a vector of band values; the last one after setEndOfStream, so a
    // module that summarises the stream answers then. Time stamp 0: the row covers the stream.
    BandFramesToEnd,
};

// The scale of the band values a band-fed stage receives.
enum class BandScale {
    // The front end's own values, ln(1 + 1e6 E): compressed like a logarithm, never below 0.
    Logarithmic,
    // E^0.3 per band (summary/dynamics_level.h): a gain multiplies every value by the same factor,
    // so a measure of relative spread does not change with gain.
    PowerLaw,
};

// A value of the chain that a stage's parameter takes.
enum class ChainValue {
    InputRate,     // the input's sampling rate in Hz
    AnalysisRate,  // the rate the stream is analysed at (the input rate, or the one it is resampled to)
    BandCount,     // the number of band-energy bands at the analysis rate
};

struct ChainParameter {
    std::string key;
    ChainValue value;
    bool overridesUser;  // true: always the chain's value; false: only when the user did not set it
};

// The frames a SampleBlocks stage analyses: blocks start `hop` samples apart, each handed over
// `handed` samples long, of which the module analyses the first `analysed`. A cut whose analysed
// frame equals its hop leaves no sample unanalysed and none analysed twice.
struct FrameCut {
    std::size_t hop = 0;
    std::size_t handed = 0;
    std::size_t analysed = 0;
};

// The cut for a stage whose frame size ("windowSize") is `windowSize`, from its parameters;
// nullptr in the table: blocks of windowSize, all of them analysed.
using FrameCutter = FrameCut (*)(std::size_t windowSize, const ParameterMap& parameters);

// Column names of a stream from the width of its first returned block, the number of bands and the
// stage's parameters; an empty list (or a wrong length) gives v0, v1, ...
using ColumnNamer = std::vector<std::string> (*)(std::size_t width, int bands, const ParameterMap& parameters);

// One row of the extract table.
struct ExtractStage {
    std::string plugin;           // library name, e.g. "zqx_tonewheel"
    ParameterList parameters;     // the documented defaults (README, "zqx extract"); --set overrides
    BlockCut cut = BlockCut::SampleBlocks;
    std::string stream;           // the feature stream it feeds (CSV "<stem>.<stream>.csv"); empty for Resample
    std::vector<ChainParameter> chainParameters{};
    std::string framesParameter{};  // BandFrameGroups: the parameter holding the frames per group
    int lowestRate = 0;           // a lower analysis rate is refused by the module: the chain resamples first
    ColumnNamer columns = nullptr;
    BandScale bandScale = BandScale::Logarithmic;  // BandFrameGroups and BandFramesToEnd
    FrameCutter frameCut = nullptr;                 // SampleBlocks
};

// The standard chain, in creation order: zqx_ratefold (when resampling), zqx_tonewheel,
// zqx_pulsegrid, zqx_swellgrid.
const std::vector<ExtractStage>& standardExtractTable();

}  // namespace zqx::host
