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
      pitchFrequencies(kNumPitches),
      numPitchClasses(kNumPitchClasses) {
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
        return;
    }
    fillPitchFrequencies(pitchFrequencies.data);
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
    peakChroma.setSize(numPitchClasses);
    std::fill(peakChroma.data, peakChroma.data + numPitchClasses, 0.0f);
    meanChroma.setSize(numPitchClasses);
    std::fill(meanChroma.data, meanChroma.data + numPitchClasses, 0.0f);

    if (block.rows == 0 || block.cols == 0) {
        output = &emptyOutput;
        return;
    }
    const std::uint32_t n = block.rows * block.cols;
    frame = BaseVector<float>(block.data, n);

    if (useMRFFT) {
        computeMrfftChroma(n);
    } else {
        computeFftChroma(n);
    }

    // The result is the peak half followed by the mean half, in the one member block.
    const std::uint32_t peakCount = peakChroma.size;
    peakChroma.resize(peakCount + meanChroma.size);
    std::copy(meanChroma.data, meanChroma.data + meanChroma.size, peakChroma.data + peakCount);
    output = &peakChroma;
}

void CChromaModule::computeFftChroma(std::uint32_t n) {
    const FrameSize size = analysedFrameSize(n);
    frameLength = size.frameLength;
    fftOrder = size.fftOrder;
    frame.resize(frameLength);
    binWidth = binWidthFor(samplingRate, frameLength);
    // Frames below three samples are left unwindowed, which is what the kernel's refusal gives.
    (void)windowHannInPlace(frame.data, static_cast<std::int32_t>(frameLength));

    const std::uint32_t bins = frameLength / 2;
    magnitude.setSize(bins);
    phase.setSize(bins);
    // The tables describe one frame length; a stream whose block length changes gets new ones
    // rather than having a longer frame read past the end of the old ones.
    if (!fft || static_cast<std::uint32_t>(fft->size) != frameLength) buildFftTables();

    // Statuses only report a frame without bins (one sample), whose output is all zero anyway.
    (void)fft->computePolar(frame.data, magnitude.data, phase.data);
    (void)vecMulInPlace(earWeights.data, magnitude.data, static_cast<std::int32_t>(bins));
    addHarmonics(magnitude.data, bins);

    pickPeaks(magnitude.data, peakSearchRange(binWidth, loedge, hiedge, bins), peakValues, peakBins);
    if (peakValues.size == 0) return;
    sortPeaksDescending(peakValues, peakBins);
    foldPeaks(peakValues, peakBins, numMaxima, binToPitchClass.data, peakChroma.data);
    // The magnitudes are already ear-weighted, so the weight enters this half twice; the values
    // have always been computed that way.
    foldMeanSpectrum(magnitude.data, earWeights.data, binToPitchClass.data, bins, meanChroma.data);
}

void CChromaModule::computeMrfftChroma(std::uint32_t n) {
    frameLength = n;
    // Without a start there is nothing new to read: records still offered belong to an earlier
    // block and must not be counted twice.
    if (handOverBlockStarts(*pitchCalc, frame.data, n, mrfftBlockLength) == 0) return;
    foldPitchRecords(*pitchCalc, peakChroma.data, meanChroma.data);
}

void CChromaModule::buildFftTables() {
    const int order = static_cast<int>(fftOrder);
    fft.reset();
    fft = std::make_unique<CPolarFft>(order);
    fft->prepare(order);
    computeEarWeights(earTransfer, samplingRate, frameLength, earWeights);
    computeBinToPitchClass(pitchFrequencies.data, binWidth, frameLength, binToPitchClass);
}
