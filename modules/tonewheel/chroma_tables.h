// FftChromaTables: what FFT-mode chroma needs that depends only on the sampling rate, the frame
// length and the ear-transfer switch (window, ear weights, bin map), built once per process for
// each such triple and shared read-only by every instance and thread that asks for it.
#pragma once

#include <cstdint>
#include <memory>

#include "modules/tonewheel/fft_chroma.h"
#include "qvt/base_vector.h"

namespace zqx::tonewheel {

struct FftChromaTables {
    std::uint32_t samplingRate = 0;
    std::uint32_t frameLength = 0;
    bool earTransfer = false;
    float binWidth = 0.0f;               // binWidthFor(samplingRate, frameLength)
    Vector<float> window;                // frameLength Hann factors (windowHannInPlace over ones)
    Vector<float> earWeights;            // computeEarWeights
    Vector<std::uint32_t> binToPitchClass;  // computeBinToPitchClass
    ClassBins classBins;                 // groupBinsByClass of binToPitchClass
};

// The tables for (samplingRate, frameLength, earTransfer), built on the first request and handed
// out again afterwards; safe to call from several threads at once. The process keeps the tables of
// the last few triples asked for even while no instance holds them, so that instance after
// instance on files of one rate builds nothing. Throws std::bad_alloc when memory runs out.
std::shared_ptr<const FftChromaTables> sharedFftChromaTables(std::uint32_t samplingRate,
                                                             std::uint32_t frameLength, bool earTransfer);

}  // namespace zqx::tonewheel
