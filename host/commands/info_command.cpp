// zqx info: a plug-in's information texts and, given parameters, what an instance announces.
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "host/chain_spec.h"
#include "host/commands/commands.h"
#include "host/module_chain.h"

namespace zqx::host {

namespace {

const char* kindName(int kind) {
    switch (kind) {
        case 1: return "RealVector";
        case 2: return "ComplexVector";
        case 3: return "RealMatrix";
        default: return "unknown";
    }
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "(none)" : text;
}

std::string describe(const ParameterMap& map) {
    std::string text;
    for (const auto& [name, value] : map.values())
        text += (text.empty() ? "" : ", ") + name + "=" + formatParameterValue(value);
    return text.empty() ? "(none)" : text;
}

}  // namespace

int infoCommand(const InfoOptions& options) {
    try {
        const ParameterList parameters = parseParameterList(options.parameters);
        ParameterList globals;
        try {
            globals = parseParameterList(options.globals);
        } catch (const ChainSpecError& error) {
            throw ChainSpecError(std::string("--global: ") + error.what());
        }
        const PluginLocator locator(options.pluginDirs);
        const std::string path = locator.find(options.plugin);
        const bool wantInstance = options.create || !parameters.empty() || !globals.empty();
        ParameterMap globalParams = defaultGlobalParams(44100);
        applyParameters(globalParams, globals);
        checkChainGlobals(globalParams);
        // The library is opened once; the instance, when there is one, tells the information
        // object's layout.
        const auto library = std::make_shared<const PluginLibrary>(path);
        std::optional<ModuleStage> stage;
        if (wantInstance) stage.emplace(options.plugin, library, parameters, globalParams);
        const ModuleInfoTexts texts = stage ? stage->infoTexts() : library->infoTexts();
        if (stage)
            for (const std::string& warning : stage->warnings()) reportError("warning: " + warning);
        std::string out;
        out += "plug-in:      " + library->name() + "\n";
        out += "file:         " + library->path() + "\n";
        out += "description:  " + texts.description + "\n";
        out += "version:      " + texts.version + "\n";
        out += "date:         " + texts.date + "\n";
        out += "author:       " + texts.author + "\n";
        out += "contact:      " + texts.contact + "\n";
        out += "owner notice: " + texts.ownerNotice + "\n";

        if (stage) {
            const ProcessingModule& module = stage->module();
            // A block of the chain's frame size as this module receives it: "windowSize" before
            // the module rewrote it (zqx_ratefold scales it to its output rate).
            ParameterMap seen = stage->globalParamsSeen();
            const int inputSize = seen.getInt("windowSize", 4096);
            out += "\ninstance created with\n";
            out += "  moduleParams:     " + describe(stage->moduleParams()) + "\n";
            out += "  globalParams:     " + describe(stage->globalParamsSeen()) + "\n";
            out += "  reads (module):   " + joined(stage->moduleParams().readLog()) + "\n";
            out += "  reads (global):   " + joined(globalParams.readLog()) + "\n";
            out += "  globalParams now: " + describe(globalParams) + "\n";
            out += "input kind:        " + std::to_string(module.getInputKind()) + " (" +
                   kindName(module.getInputKind()) + ")\n";
            out += "output kind:       " + std::to_string(module.getOutputKind()) + " (" +
                   kindName(module.getOutputKind()) + ")\n";
            out += "input type name:   \"" + module.getInputTypeName() + "\"\n";
            out += "output type name:  \"" + module.getOutputTypeName() + "\"\n";
            out += "parameter note:    \"" + module.getParameterNote() + "\"\n";
            out += "isTyped:           " + std::to_string(module.isTyped()) + "\n";
            out += "getOutputSize(" + std::to_string(inputSize) +
                   "): " + std::to_string(module.getOutputSize(std::uint32_t(inputSize))) +
                   " (announced; returned blocks may differ)\n";
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write to standard output");
        return 0;
    } catch (const std::exception& error) {
        reportError(error.what());
        return 1;
    }
}

}  // namespace zqx::host
