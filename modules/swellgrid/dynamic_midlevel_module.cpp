// DynamicMidlevelModule: parameters, level collection and the answer after the end of the stream.
#include "modules/swellgrid/dynamic_midlevel_module.h"

#include <cmath>

#include "modules/swellgrid/dynamic_range.h"
#include "modules/swellgrid/swellgrid_info.h"
#include "qvt/vector_func.h"

namespace {
const char* const kParameterWrong = "DynamicMidlevelModule: parameter wrong!";
}

DynamicMidlevelModule::DynamicMidlevelModule(ParameterSet* moduleParams, ParameterSet* globalParams)
    : ProcessingModule(moduleParams, globalParams, swellgridModuleInfo()) {
    m_hanningLen = moduleParams->getInt("hanningLen", -1);
    if (m_hanningLen == 0) throw simpleException("DynamicMidlevelModule: parameter \"hanningLen\" not set!");
    m_sliceOffset = moduleParams->getInt("offset", -1);
    m_sliceSize = moduleParams->getInt("size", -1);
    if (m_sliceSize < 1) throw simpleException(kParameterWrong);
    if (m_sliceOffset < 1) m_sliceOffset = 0;
    m_frameDuration = moduleParams->getDouble("frameDuration", 10.0);
    // Checked after every read so that the reads keep their order: a negative window cannot be
    // built, and a duration that is not a positive number gives no frame counts.
    if (m_hanningLen < 0) throw simpleException(kParameterWrong);
    if (!(std::isfinite(m_frameDuration) && m_frameDuration > 0.0)) throw simpleException(kParameterWrong);

    m_smoothingWindow = zqx::swellgrid::makeSmoothingWindow(m_hanningLen);
}

DynamicMidlevelModule::~DynamicMidlevelModule() = default;

std::uint32_t DynamicMidlevelModule::getOutputSize(std::uint32_t) const { return m_outputCount; }

void DynamicMidlevelModule::process(DataBlock*& output, const DataBlock* input) {
    BaseVector<float>& empty = libraryEmptyBlock();
    if (!m_outputVector) m_outputVector = std::make_unique<Vector<float>>(1u);

    const auto& block = *static_cast<const BaseVector<float>*>(input);
    if (block.size > 0) {
        const BaseVector<float> slice =
            block.subvector(static_cast<std::uint32_t>(m_sliceOffset), static_cast<std::uint32_t>(m_sliceSize));
        m_levelHistory.push_back(static_cast<float>(Mean(slice)));
    }

    if (!isEndOfStream()) {
        output = &empty;
        return;
    }
    m_outputVector->data[0] = zqx::swellgrid::computeDynamicRange(m_levelHistory, m_smoothingWindow, m_frameDuration, m_workBuffer);
    output = m_outputVector.get();
    m_outputCount = m_outputVector->size;
}
