// The adapter's plug-in search path.
#include "vamp/module_locator.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

namespace zqx::vamp {

std::string adapterDirectory() {
    // Any address inside this library names the file it was loaded from.
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&adapterDirectory), &info) == 0 || info.dli_fname == nullptr)
        return {};
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::string() : file.parent_path().string();
}

host::PluginLocator modulePluginLocator() {
    const char* variable = std::getenv("ZQX_PLUGIN_PATH");
    std::string path = variable ? variable : "";
    const std::string self = adapterDirectory();
    if (!self.empty()) {
        // <libdir>/vamp/zqx_vamp.so and <libdir>/zqx/ are installed side by side.
        const std::string installed = (std::filesystem::path(self).parent_path() / "zqx").string();
        path = path.empty() ? installed : path + ":" + installed;
    }
    // The locator appends the adapter's folder (and <folder>/../lib/zqx) after the variable's
    // entries, then the build's installed plug-in folder.
    return host::PluginLocator({}, path, self);
}

}  // namespace zqx::vamp
