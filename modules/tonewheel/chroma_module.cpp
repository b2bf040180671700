// CChromaModule: parameters, block handling, and the analysis of each block in FFT or MRFFT mode.
#include "modules/tonewheel/chroma_module.h"

#include <algorithm>

#include "kernels/elementwise.h"
#include "kernels/hann_window.h"
#include "modules/tonewheel/fft_chroma.h"
#include "modules/tonewheel/tonewheel_info.h"
#include "tonalscan/pitch_calc.h"

using namespace zqx::tonewheel;

namespace {

// An unset integer arrives as -1 and is kept as 4294967295: every later comparison is unsigned,
// so an unset "hiedge" means no upper limit and an unset "numMaxima" no limit on peaks.
std::uint32_t readUnsigned(ParameterSet* set, const char* name) {
    return static_cast<std::uint32_t>(set->getInt(name, -1));
}

}  // namespace

CChromaModule::CChromaModule(ParameterSet* moduleParams, ParameterSet* globalParams)
    : CChromaModule(moduleParams, globalParams, tonalscanBinding()) {}

CChromaModule::CChromaModule(ParameterSet* moduleParams, ParameterSet* globalParams,
                             const PitchCalcBinding& binding)
    : ProcessingModule(moduleParams, globalParams, tonewheelModuleInfo()),
      pitchCalcBinding(binding),
      inputTypeName("TimeSignal"),
      outputTypeName("ChromaVector"),
      numPitchClasses(kNumPitchClasses),
      chroma(2 * kNumPitchClasses) {
    samplingRate = readUnsigned(globalParams, "samplingRate");
    windowSize = globalParams->getInt("windowSize", -1);
    overlapSize = readUnsigned(globalParams, "overlapSize");
    loedge = readUnsigned(moduleParams, "loedge");
    hiedge = readUnsigned(moduleParams, "hiedge");
    earTransfer = moduleParams->getBool("earTransfer");
    numMaxima = readUnsigned(moduleParams, "numMaxima");
    useMRFFT = moduleParams->getBool("useMRFFT");

    if (overlapSize != 0) throw simpleException("overlapSize out of range");
    if (samplingRate < 22050)
        throw simpleException("Chroma module does not support sampling rates smaller than 22050 Hz");
    if (loedge >= hiedge)
        throw simpleException("Chroma module requires parameter hiedge to be strictly greater than parameter loedge");

    if (useMRFFT) {
        // An unset or out-of-range rate reaches the library as a negative int, which it refuses.
        CPitchCalc* made = nullptr;
        if (!pitchCalcBinding.init(made, static_cast<int>(samplingRate)) || made == nullptr)
            throw simpleException("MRFFT initialization failed");
        pitchCalc = made;
        mrfftBlockLength = pitchCalc->getBlockLength();
        // A block length of 0 would never advance the block start. The destructor does not run
        // for a throwing constructor, so the object is released here.
        if (mrfftBlockLength == 0) {
            (void)pitchCalcBinding.destroy(pitchCalc);
            pitchCalc = nullptr;
            throw simpleException("MRFFT initialization failed");
        }
    }
}

// fft and the vectors release themselves; the analysis object goes back to its library.
CChromaModule::~CChromaModule() {
    if (pitchCalc != nullptr) {
        (void)pitchCalcBinding.destroy(pitchCalc);
        pitchCalc = nullptr;
    }
}

std::uint32_t CChromaModule::getOutputSize(std::uint32_t) const { return numPitchClasses; }

void CChromaModule::process(DataBlock*& output, const DataBlock* input) {
    const auto& block = *static_cast<const BaseMatrix<float>*>(input);
    if (block.rows == 0 || block.cols == 0) {
        output = &emptyOutput;
        return;
    }
    // Peak half then mean half, in the one member block that is handed back.
    std::fill(chroma.data, chroma.data + chroma.size, 0.0f);
    const std::uint32_t n = block.rows * block.cols;
    if (useMRFFT) {
        computeMrfftChroma(block.data, n);
    } else {
        computeFftChroma(block.data, n);
    }
    output = &chroma;
}

void CChromaModule::computeFftChroma(const float* samples, std::uint32_t n) {
    const FrameSize size = analysedFrameSize(n);
    frameLength = size.frameLength;
    fftOrder = size.fftOrder;
    // The tables describe one frame length; a stream whose block length changes gets new ones
    // rather than having a longer frame read past the end of the old ones.
    if (!fft || static_cast<std::uint32_t>(fft->size) != frameLength) buildFftTables();
    binWidth = tables->binWidth;

    // The cached factors are the ones windowHannInPlace applies, so the product is the same float.
    // Frames below three samples are left unwindowed, as that kernel leaves them.
    if (frameLength >= 3) {
        (void)vecMul(samples, tables->window.data, frame.data, static_cast<std::int32_t>(frameLength));
    } else {
        std::copy(samples, samples + frameLength, frame.data);
    }

    const std::uint32_t bins = frameLength / 2;
    // Statuses only report a frame without bins (one sample), whose output is all zero anyway.
    (void)fft->computeMagnitude(frame.data, magnitude.data);
    (void)vecMulInPlace(tables->earWeights.data, magnitude.data, static_cast<std::int32_t>(bins));
    addHarmonics(magnitude.data, bins);

    const std::uint32_t peaks =
        pickPeaks(magnitude.data, peakSearchRange(binWidth, loedge, hiedge, bins), peakValues.data, peakBins.data);
    if (peaks == 0) return;
    foldStrongestPeaks(peakValues.data, peakBins.data, peaks, numMaxima, tables->binToPitchClass.data, peakOrder.data,
                       chroma.data);
    // The magnitudes are already ear-weighted and the mean half weights them again: the reference
    // chroma values are defined that way, and ChromaModule.MatchesReferenceChain checks it.
    foldMeanSpectrum(magnitude.data, tables->earWeights.data, tables->classBins, weighted.data,
                     chroma.data + kNumPitchClasses);
}

void CChromaModule::computeMrfftChroma(const float* samples, std::uint32_t n) {
    frameLength = n;
    // Without a start there is nothing new to read: records still offered belong to an earlier
    // block and must not be counted twice.
    if (handOverBlockStarts(*pitchCalc, samples, n, mrfftBlockLength) == 0) return;
    foldPitchRecords(*pitchCalc, chroma.data, chroma.data + kNumPitchClasses);
}

void CChromaModule::buildFftTables() {
    fft = std::make_unique<CRealFft>(static_cast<int>(fftOrder));
    tables = sharedFftChromaTables(samplingRate, frameLength, earTransfer);
    const std::uint32_t bins = frameLength / 2;
    frame.setSize(frameLength);
    magnitude.setSize(bins);
    weighted.setSize(bins + 1);
    // Peak candidates never exceed the bins.
    peakValues.setSize(bins);
    peakBins.setSize(bins);
    peakOrder.setSize(bins);
}
