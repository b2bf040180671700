// Finding plug-in files by name: --plugin-dir folders, then ZQX_PLUGIN_PATH, then the folder of
// the zqx executable, then the installed plug-in folders.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zqx::host {

// No file for the requested plug-in; the message names it and every folder searched.
class PluginNotFoundError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file suffix of a plug-in on this platform (".so" or ".dll").
const char* pluginFileSuffix();

class PluginLocator {
public:
    // The search folders, in order: explicitDirs, the entries of ZQX_PLUGIN_PATH (':'-separated,
    // ';' on Windows), the executable's folder, <executable folder>/../lib/zqx and the folder the
    // build installs plug-ins into. Folders that do not exist are kept (they simply hold nothing).
    explicit PluginLocator(std::vector<std::string> explicitDirs = {});
    // The same with the environment variable's value and the executable folder given (for tests).
    PluginLocator(std::vector<std::string> explicitDirs, const std::string& pathVariable,
                  const std::string& executableDir);

    // A name containing a folder separator or ending in the plug-in suffix is taken as a path and
    // must exist. Otherwise the first "<folder>/<name><suffix>" that exists. Throws
    // PluginNotFoundError naming the plug-in and the folders searched.
    std::string find(const std::string& name) const;
    const std::vector<std::string>& searchPath() const { return m_dirs; }

private:
    std::vector<std::string> m_dirs;
};

// The folder holding the running executable, or "" if it cannot be told.
std::string executableDirectory();

}  // namespace zqx::host
