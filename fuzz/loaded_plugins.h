// The plug-ins a harness loads, kept loaded for the whole fuzzing run: libFuzzer reads each
// instrumented library's coverage counters after every input, so none may be unloaded under it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/library_loader.h"
#include "host/plugin_locator.h"

namespace zqx::fuzz {

inline const host::PluginLocator& loadedPlugins() {
    static const host::PluginLocator locator({ZQX_FUZZ_PLUGIN_DIR}, "", "");
    static const auto pinned = [] {
        std::vector<std::unique_ptr<host::PluginLibrary>> libraries;
        for (const char* name : {"zqx_ratefold", "zqx_tonewheel", "zqx_pulsegrid", "zqx_swellgrid"})
            libraries.push_back(std::make_unique<host::PluginLibrary>(locator.find(name)));
        return libraries;
    }();
    (void)pinned;
    return locator;
}

}  // namespace zqx::fuzz
