// RhythmicMidlevelModule: the module of zqx_pulsegrid, one rhythm feature vector per band matrix.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/processing_module.h"
#include "modules/pulsegrid/rhythm_feature_extractor.h"

// Input: a RealMatrix block, one row per 10 ms frame, one column per band. Output: a RealVector of
// B + 15 + lagCount rhythm features (layout in rhythm_feature_extractor.h).
//
// Lifecycle:
//   1. Construction reads, from moduleParams, "groupFrames", "hanningLen", "onsetThresh", then
//      "msPerRow" from globalParams (read and ignored: the frame period is fixed at 10 ms), then
//      "loBPM" and "hiBPM". A groupFrames below 1 (or absent) throws simpleException at once;
//      after all reads, a hanningLen below 1, a loBPM or hiBPM not above 0, or a tempo range that
//      leaves no lag below groupFrames throws simpleException naming the value.
//   2. process() once per matrix; the calls are independent. A matrix with no rows or no columns
//      yields the library's shared empty block. getOutputSize() reports the length of the first
//      computed result from then on, whatever later matrices give.
// One caller at a time. The block process() hands back belongs to the module (or is the library's
// empty block) and stays valid, unchanged, until the next call or the instance's destruction.
class RhythmicMidlevelModule : public ProcessingModule {
public:
    RhythmicMidlevelModule(ParameterSet* moduleParams, ParameterSet* globalParams);
    ~RhythmicMidlevelModule() override;

    void process(DataBlock*& output, const DataBlock* input) override;
    const std::string& getInputTypeName() const override { return m_inputTypeName; }
    const std::string& getOutputTypeName() const override { return m_outputTypeName; }
    int getInputKind() const override { return RealMatrix; }
    int getOutputKind() const override { return RealVector; }
    // The length of the first computed feature vector; 0 before. The argument is ignored.
    std::uint32_t getOutputSize(std::uint32_t inputSize) const override;
    std::string getParameterNote() const override { return "zqx_pulsegrid"; }

private:
    std::string m_inputTypeName;
    std::string m_outputTypeName;
    std::uint32_t m_outputCount = 0;
    Vector<float> m_featureVector;
    std::unique_ptr<zqx::pulsegrid::RhythmFeatureExtractor> m_extractor;
};
