// Plug-in discovery along the search path.
#include "host/plugin_locator.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

#ifndef ZQX_INSTALLED_PLUGIN_DIR
#define ZQX_INSTALLED_PLUGIN_DIR ""
#endif

namespace fs = std::filesystem;

namespace zqx::host {

namespace {

#if defined(_WIN32)
constexpr char kPathSeparator = ';';
#else
constexpr char kPathSeparator = ':';
#endif

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

const char* pluginFileSuffix() {
#if defined(_WIN32)
    return ".dll";
#else
    return ".so";
#endif
}

std::string executableDirectory() {
#if defined(_WIN32)
    char buffer[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return {};
    return fs::path(buffer).parent_path().string();
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
#endif
}

PluginLocator::PluginLocator(std::vector<std::string> explicitDirs)
    : PluginLocator(std::move(explicitDirs),
                    std::getenv("ZQX_PLUGIN_PATH") ? std::getenv("ZQX_PLUGIN_PATH") : "",
                    executableDirectory()) {}

PluginLocator::PluginLocator(std::vector<std::string> explicitDirs, const std::string& pathVariable,
                             const std::string& executableDir)
    : m_dirs(std::move(explicitDirs)) {
    std::string::size_type start = 0;
    while (start <= pathVariable.size() && !pathVariable.empty()) {
        const auto at = pathVariable.find(kPathSeparator, start);
        const std::string entry = pathVariable.substr(start, at == std::string::npos ? std::string::npos : at - start);
        if (!entry.empty()) m_dirs.push_back(entry);
        if (at == std::string::npos) break;
        start = at + 1;
    }
    if (!executableDir.empty()) {
        m_dirs.push_back(executableDir);
        // An installed tree moved elsewhere as a whole: bin/zqx beside lib/zqx/.
        m_dirs.push_back((fs::path(executableDir).parent_path() / "lib" / "zqx").string());
    }
    const std::string installed = ZQX_INSTALLED_PLUGIN_DIR;
    if (!installed.empty()) m_dirs.push_back(installed);
}

std::string PluginLocator::find(const std::string& name) const {
    const std::string suffix = pluginFileSuffix();
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos || endsWith(name, suffix)) {
        if (isFile(name)) return name;
        throw PluginNotFoundError("plug-in file '" + name + "' does not exist");
    }
    for (const std::string& dir : m_dirs) {
        const fs::path candidate = fs::path(dir) / (name + suffix);
        if (isFile(candidate)) return candidate.string();
    }
    std::string searched;
    for (const std::string& dir : m_dirs) searched += (searched.empty() ? "" : ", ") + dir;
    throw PluginNotFoundError("unknown plug-in '" + name + "': no " + name + suffix + " in " +
                              (searched.empty() ? std::string("any folder") : searched) +
                              " (add a folder with --plugin-dir or ZQX_PLUGIN_PATH)");
}

}  // namespace zqx::host
