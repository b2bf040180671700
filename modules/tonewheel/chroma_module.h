// CChromaModule: the module of zqx_tonewheel, one 24-value chroma vector per block of audio.
//
// Lifecycle, as a host drives an instance:
//   1. Construction reads "samplingRate", "windowSize", "overlapSize" from the global set and
//      "loedge", "hiedge", "earTransfer", "numMaxima", "useMRFFT" from the module set, in that
//      order, then rejects overlapping blocks, rates below 22050 Hz and loedge >= hiedge with
//      simpleException. Unset integers read as -1, stored unsigned (4294967295).
//   2. process() once per block: a matrix block read as rows * cols samples in storage order. The
//      result holds twelve peak values then twelve mean-spectrum values per pitch class (class 0
//      is C); an empty block gives an empty result. The FFT object is built on the first block and
//      rebuilt whenever a block analyses another frame length; the window and per-bin tables come
//      from sharedFftChromaTables, so instances on one rate share them. In MRFFT mode
//      the block's starts (B apart, 2B samples each) go to tonalscan's CPitchCalc, which was made
//      at construction; a block shorter than 2B samples gives 24 zeros.
//   3. Destruction releases everything, the CPitchCalc through DestroyPitchCalc.
// One caller drives an instance at a time. The block process() hands back is a member of the
// instance and stays valid until the next call on it or its destruction. After the first block of a
// frame length, process() allocates nothing: every buffer is kept from block to block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/processing_module.h"
#include "kernels/polar_fft.h"
#include "modules/tonewheel/chroma_tables.h"
#include "modules/tonewheel/mrfft_chroma.h"

class CChromaModule : public ProcessingModule {
public:
    CChromaModule(ParameterSet* moduleParams, ParameterSet* globalParams);
    // The same, with the analysis object of MRFFT mode created and released through `binding`
    // instead of tonalscan's functions (for tests).
    CChromaModule(ParameterSet* moduleParams, ParameterSet* globalParams,
                  const zqx::tonewheel::PitchCalcBinding& binding);
    ~CChromaModule() override;

    void process(DataBlock*& output, const DataBlock* input) override;
    const std::string& getInputTypeName() const override { return inputTypeName; }
    const std::string& getOutputTypeName() const override { return outputTypeName; }
    int getInputKind() const override { return RealMatrix; }
    int getOutputKind() const override { return RealVector; }
    // The number of pitch classes, although each non-empty result holds twice as many values.
    std::uint32_t getOutputSize(std::uint32_t inputSize) const override;
    std::string getParameterNote() const override { return "chroma is non-parametric"; }
    virtual bool isInputComplex() const { return false; }
    virtual bool isOutputComplex() const { return false; }

private:
    // FFT mode: fills the peak and mean halves of `chroma` from the leading samples of `samples`
    // (n of them).
    void computeFftChroma(const float* samples, std::uint32_t n);
    // MRFFT mode: hands the n samples to pitchCalc and folds what it reports into `chroma`.
    void computeMrfftChroma(const float* samples, std::uint32_t n);
    // FFT object, shared tables and peak buffers for the current frameLength and fftOrder.
    void buildFftTables();

    std::unique_ptr<CRealFft> fft;
    std::shared_ptr<const zqx::tonewheel::FftChromaTables> tables;
    CPitchCalc* pitchCalc = nullptr;
    zqx::tonewheel::PitchCalcBinding pitchCalcBinding;
    std::string inputTypeName;
    std::string outputTypeName;
    std::uint32_t numPitchClasses;
    std::uint32_t numMaxima = 0;
    bool earTransfer = false;
    bool useMRFFT = false;
    std::uint32_t loedge = 0;
    std::uint32_t hiedge = 0;
    std::uint32_t samplingRate = 0;
    int windowSize = 0;
    std::uint32_t overlapSize = 0;
    std::uint32_t frameLength = 0;
    std::uint32_t fftOrder = 0;
    std::uint32_t mrfftBlockLength = 0;
    float binWidth = 0.0f;
    // Buffers sized for the current frame length and kept from block to block.
    Vector<std::uint32_t> peakBins;
    Vector<std::uint32_t> peakOrder;
    Vector<float> frame;
    Vector<float> peakValues;
    Vector<float> magnitude;
    Vector<float> weighted;  // ear weight times magnitude, and a zero slot, for the mean fold
    // The result: twelve peak values, then twelve mean-spectrum values.
    Vector<float> chroma;
    Vector<float> emptyOutput;
};
