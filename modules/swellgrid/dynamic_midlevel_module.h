// DynamicMidlevelModule: collects one level per frame and, once the stream has ended, answers the
// dynamic range of the smoothed level contour.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/processing_module.h"
#include "qvt/base_vector.h"

// Lifecycle, as a host drives it:
//   1. Construction reads, from moduleParams only and in this order, "hanningLen" (smoothing window
//      in frames, at least 1), "offset" (first element averaged per frame; below 1 means 0), "size"
//      (elements averaged per frame, at least 1) and "frameDuration" (milliseconds per frame,
//      default 10, finite and above 0). "hanningLen" 0 throws simpleException
//      "DynamicMidlevelModule: parameter "hanningLen" not set!"; every other refusal throws
//      "DynamicMidlevelModule: parameter wrong!".
//   2. process() with each RealVector block: a non-empty block adds the mean of its elements
//      offset .. offset + size - 1 to the level history (QVTException "subvector parameters out of
//      range", history unchanged, when the block is too short); an empty block adds nothing. The
//      answer is the library's empty block.
//   3. setEndOfStream(); from then on every process() call first adds its level as above and then
//      answers a one-element vector holding the dynamic range of the history as it stands
//      (QVTException "zero sized vector" when the analysed segment is not longer than the window).
//      getOutputSize() is 0 until the first such answer and 1 from then on.
// One caller at a time. The answered block belongs to the instance (or the library) and stays valid
// until the next call or the instance's destruction.
class DynamicMidlevelModule : public ProcessingModule {
public:
    DynamicMidlevelModule(ParameterSet* moduleParams, ParameterSet* globalParams);
    ~DynamicMidlevelModule() override;

    void process(DataBlock*& output, const DataBlock* input) override;
    const std::string& getInputTypeName() const override { return m_inputTypeName; }
    const std::string& getOutputTypeName() const override { return m_outputTypeName; }
    int getInputKind() const override { return RealVector; }
    int getOutputKind() const override { return RealVector; }
    std::uint32_t getOutputSize(std::uint32_t inputSize) const override;
    std::string getParameterNote() const override { return "zqx_swellgrid"; }

    // The level history so far, oldest first.
    const std::vector<float>& levelHistory() const { return m_levelHistory; }
    const BaseVector<float>& smoothingWindow() const { return m_smoothingWindow; }

private:
    std::string m_inputTypeName;
    std::string m_outputTypeName;
    std::uint32_t m_outputCount = 0;
    std::int32_t m_hanningLen = 0;
    std::vector<float> m_levelHistory;
    Vector<float> m_smoothingWindow;
    // Created by the first process() call and reused by every later one.
    std::unique_ptr<Vector<float>> m_outputVector;
    std::int32_t m_sliceSize = 0;
    std::int32_t m_sliceOffset = 0;
    Vector<float> m_workBuffer;
    double m_frameDuration = 0.0;
};
