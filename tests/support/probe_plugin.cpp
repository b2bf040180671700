// A test-only plug-in on the framework: proves construction, rejection, processing of vector and
// matrix blocks, the shared empty block and exceptions across the library boundary.
#include <algorithm>
#include <cmath>

#include "framework/plugin_entry.h"
#include "qvt/vector_func.h"

class ContractProbeModule : public ProcessingModule {
public:
    ContractProbeModule(ParameterSet* moduleParams, ParameterSet* globalParams);

    void process(DataBlock*& output, const DataBlock* input) override;
    const std::string& getInputTypeName() const override { return m_inputTypeName; }
    const std::string& getOutputTypeName() const override { return m_outputTypeName; }
    int getInputKind() const override { return m_inputKind; }
    int getOutputKind() const override { return RealVector; }
    std::uint32_t getOutputSize(std::uint32_t inputSize) const override { return inputSize; }
    std::string getParameterNote() const override { return "probe"; }

private:
    std::string m_inputTypeName = "ProbeIn";
    std::string m_outputTypeName = "ProbeOut";
    Vector<float> m_scratch;
    Vector<float> m_output;
    float m_gain = 1.0f;
    int m_inputKind = RealVector;
    std::uint32_t m_sliceOffset = 0;
};

namespace {
ModuleInfo* probeModuleInfo() {
    // Lives from the library's load to its unload.
    static LiteralModuleInfo<ModuleInfo> info(ZQX_MODULE_AUTHOR, ZQX_MODULE_CONTACT, ZQX_MODULE_OWNER,
                                              "Dec  8 2026", "0.1", "contract probe");
    return &info;
}
}  // namespace

ContractProbeModule::ContractProbeModule(ParameterSet* moduleParams, ParameterSet* globalParams)
    : ProcessingModule(moduleParams, globalParams, probeModuleInfo()), m_scratch(1024) {
    const double gain = moduleParams->getDouble("gain", -1.0);
    globalParams->getInt("samplingRate", -1);
    m_inputKind = moduleParams->getInt("inputKind", RealVector);
    m_sliceOffset = static_cast<std::uint32_t>(moduleParams->getInt("sliceOffset", 0));
    // m_scratch is already allocated here: a leak would show if the memory were not released.
    if (!(gain >= 0.0)) throw simpleException("ContractProbeModule: parameter \"gain\" out of range");
    m_gain = static_cast<float>(gain);
}

void ContractProbeModule::process(DataBlock*& output, const DataBlock* input) {
    if (m_inputKind == RealMatrix) {
        const auto& m = *static_cast<const BaseMatrix<float>*>(input);
        if (m.rows == 0 || m.cols == 0) {
            output = &libraryEmptyBlock();
            return;
        }
        m_output.setSize(m.rows);
        for (std::uint32_t r = 0; r < m.rows; ++r)
            m_output.data[r] = static_cast<float>(Mean(m.row(r)) * m.cols * m_gain);
    } else {
        const auto& v = *static_cast<const BaseVector<float>*>(input);
        if (v.size == 0) {
            output = &libraryEmptyBlock();
            return;
        }
        // Out of range offsets throw QVTException("subvector parameters out of range").
        const BaseVector<float> tail = v.subvector(m_sliceOffset, v.size - std::min(m_sliceOffset, v.size));
        m_output = tail;
        for (std::uint32_t i = 0; i < m_output.size; ++i) m_output.data[i] *= m_gain;
    }
    output = &m_output;
}

ZQX_DEFINE_PLUGIN(ContractProbeModule, probeModuleInfo())
