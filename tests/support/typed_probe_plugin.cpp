// A test-only plug-in on TypedProcessingModule whose kinds come from its parameters, so that every
// branch of the dispatch and the destructor-first information layout can be seen from a host.
#include "framework/plugin_entry.h"
#include "framework/typed_processing_module.h"

class TypedProbeModule : public TypedProcessingModule {
public:
    TypedProbeModule(ParameterSet* moduleParams, ParameterSet* globalParams);

    const std::string& getInputTypeName() const override { return m_name; }
    const std::string& getOutputTypeName() const override { return m_name; }
    std::uint32_t getOutputSize(std::uint32_t inputSize) const override { return inputSize; }
    std::string getParameterNote() const override { return "."; }
    bool isInputComplex() const override { return m_complexIn; }
    bool isOutputComplex() const override { return m_complexOut; }
    int getInputKind() const override {
        return m_inputKindOverride > 0 ? m_inputKindOverride : TypedProcessingModule::getInputKind();
    }

    // Only the real-to-real combination is provided: it hands the input back.
    void processRealToReal(DataBlock*& output, const DataBlock* input) override {
        output = const_cast<DataBlock*>(input);
    }

private:
    std::string m_name;
    bool m_complexIn = false;
    bool m_complexOut = false;
    int m_inputKindOverride = 0;
};

namespace {
TypedModuleInfo* typedProbeModuleInfo() {
    static LiteralModuleInfo<TypedModuleInfo> info(ZQX_MODULE_AUTHOR, ZQX_MODULE_CONTACT, ZQX_MODULE_OWNER,
                                                   "Dec  8 2026", "0.2", "typed probe, destructor first");
    return &info;
}
}  // namespace

TypedProbeModule::TypedProbeModule(ParameterSet* moduleParams, ParameterSet* globalParams)
    : TypedProcessingModule(moduleParams, globalParams, typedProbeModuleInfo()) {
    m_complexIn = moduleParams->getBool("complexIn");
    m_complexOut = moduleParams->getBool("complexOut");
    m_inputKindOverride = moduleParams->getInt("inputKindOverride", 0);
}

ZQX_DEFINE_PLUGIN(TypedProbeModule, asModuleInfoPointer(typedProbeModuleInfo()))
