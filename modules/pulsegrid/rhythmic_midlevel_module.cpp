// RhythmicMidlevelModule: parameters, validation and the process() contract.
#include "modules/pulsegrid/rhythmic_midlevel_module.h"

#include "modules/pulsegrid/pulsegrid_info.h"

namespace {

// Seconds per input row. Fixed: msPerRow is not consulted.
constexpr float kFramePeriod = 0.01f;

[[noreturn]] void refuse(const char* parameter) {
    throw simpleException(std::string("RhythmicMidlevelModule: parameter \"") + parameter +
                          "\" out of range");
}

}  // namespace

RhythmicMidlevelModule::RhythmicMidlevelModule(ParameterSet* moduleParams, ParameterSet* globalParams)
    : ProcessingModule(moduleParams, globalParams, pulsegridModuleInfo()) {
    const std::int32_t groupFrames = moduleParams->getInt("groupFrames", -1);
    if (groupFrames < 1)
        throw simpleException("RhythmicMidlevelModule: parameter \"groupFrames\" not set!");
    const std::int32_t hanningLen = moduleParams->getInt("hanningLen", -1);
    const auto onsetThresh = static_cast<float>(moduleParams->getDouble("onsetThresh", -1.0));
    (void)globalParams->getInt("msPerRow", -1);
    const auto loBPM = static_cast<float>(moduleParams->getInt("loBPM", -1));
    const auto hiBPM = static_cast<float>(moduleParams->getInt("hiBPM", -1));

    // Values for which smoothing or the periodicity profile have no result, in read order.
    if (hanningLen < 1) refuse("hanningLen");
    if (!(loBPM > 0.0f)) refuse("loBPM");
    if (!(hiBPM > 0.0f)) refuse("hiBPM");
    const zqx::pulsegrid::RhythmLags lags = zqx::pulsegrid::rhythmLags(groupFrames, kFramePeriod, loBPM, hiBPM);
    if (lags.minLag < 0) refuse("minLag");
    // loBPM >= hiBPM, or a fastest beat period not below groupFrames.
    if (lags.lagCount <= 0) refuse("lagCount");

    m_extractor = std::make_unique<zqx::pulsegrid::RhythmFeatureExtractor>(groupFrames, hanningLen, onsetThresh,
                                                           kFramePeriod, loBPM, hiBPM);
}

RhythmicMidlevelModule::~RhythmicMidlevelModule() = default;

void RhythmicMidlevelModule::process(DataBlock*& output, const DataBlock* input) {
    const auto& matrix = *static_cast<const BaseMatrix<float>*>(input);
    if (matrix.rows == 0 || matrix.cols == 0) {
        output = &libraryEmptyBlock();
        return;
    }
    const BaseMatrix<float> view(matrix.data, matrix.rows, matrix.cols);
    const Vector<float> features = m_extractor->computeFeatures(view);
    // Copy assignment: the member's storage is replaced only when a longer result arrives.
    m_featureVector = features;
    if (m_outputCount == 0) m_outputCount = features.size;
    output = &m_featureVector;
}

std::uint32_t RhythmicMidlevelModule::getOutputSize(std::uint32_t) const { return m_outputCount; }
