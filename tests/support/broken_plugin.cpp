// A test-only plug-in that breaks the contract in the way ZQX_BROKEN_PROBE names: "null-info"
// (getModuleInfo returns null), "null-instance" (newInstance returns null), "throw-int" (newInstance
// throws something that is not an exception class), "throw-std" (newInstance throws
// std::runtime_error). Unset, it behaves: an instance that hands every block back unchanged.
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "framework/plugin_entry.h"

namespace {

bool brokenAs(const char* mode) {
    const char* chosen = std::getenv("ZQX_BROKEN_PROBE");
    return chosen && std::strcmp(chosen, mode) == 0;
}

ModuleInfo* brokenModuleInfo() {
    // Lives from the library's load to its unload.
    static LiteralModuleInfo<ModuleInfo> info(ZQX_MODULE_AUTHOR, ZQX_MODULE_CONTACT, ZQX_MODULE_OWNER,
                                              "Dec  8 2026", "0.1", "broken probe");
    return &info;
}

}  // namespace

class BrokenProbeModule : public ProcessingModule {
public:
    BrokenProbeModule(ParameterSet* moduleParams, ParameterSet* globalParams)
        : ProcessingModule(moduleParams, globalParams, brokenModuleInfo()) {}
    void process(DataBlock*& output, const DataBlock* input) override { output = const_cast<DataBlock*>(input); }
    const std::string& getInputTypeName() const override { return m_name; }
    const std::string& getOutputTypeName() const override { return m_name; }
    int getInputKind() const override { return RealVector; }
    int getOutputKind() const override { return RealVector; }
    std::uint32_t getOutputSize(std::uint32_t inputSize) const override { return inputSize; }
    std::string getParameterNote() const override { return ""; }

private:
    std::string m_name;
};

ProcessingModule* newInstance(ParameterSet* moduleParams, ParameterSet* globalParams) {
    if (brokenAs("null-instance")) return nullptr;
    if (brokenAs("throw-int")) throw 42;
    if (brokenAs("throw-std")) throw std::runtime_error("broken probe gave up");
    return new (std::nothrow) BrokenProbeModule(moduleParams, globalParams);
}

void deleteInstance(ProcessingModule* module) { delete module; }

ModuleInfo* getModuleInfo() { return brokenAs("null-info") ? nullptr : brokenModuleInfo(); }
