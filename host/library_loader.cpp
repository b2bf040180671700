// Platform loading (dlopen or LoadLibrary) and the plug-in and instance handles.
#include "host/library_loader.h"

#include <exception>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zqx::host {

namespace {

std::string lastLoaderMessage() {
#if defined(_WIN32)
    const DWORD code = GetLastError();
    char buffer[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                   sizeof buffer, nullptr);
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
#else
    const char* text = dlerror();
    return text ? text : "unknown error";
#endif
}

#if defined(_WIN32)
// The absolute form of a path, or the path itself when Windows cannot form it.
std::string absolutePath(const std::string& path) {
    const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::string full(needed, '\0');
    const DWORD written = GetFullPathNameA(path.c_str(), needed, &full[0], nullptr);
    if (written == 0 || written >= needed) return path;
    full.resize(written);
    return full;
}
#endif

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

SharedLibrary::SharedLibrary(const std::string& path) : m_path(path) {
#if defined(_WIN32)
    // A plug-in's own DLLs (tonalscan.dll, the C++ runtime) sit beside it, where $ORIGIN finds them
    // on Linux; LOAD_WITH_ALTERED_SEARCH_PATH searches the plug-in's folder first, given an absolute
    // path. A missing dependency must come back as an error, not as a dialog box.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
    m_handle = reinterpret_cast<void*>(
        LoadLibraryExA(absolutePath(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    const DWORD loadError = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    SetLastError(loadError);
#else
    // RTLD_NOW: an unresolved symbol fails here, not in the middle of a run.
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (!m_handle) throw LoaderError("cannot load plug-in '" + path + "': " + lastLoaderMessage());
}

SharedLibrary::~SharedLibrary() {
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(m_handle));
#else
    dlclose(m_handle);
#endif
}

void* SharedLibrary::symbol(const char* name) const {
#if defined(_WIN32)
    void* address = reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(m_handle), name));
#else
    dlerror();
    void* address = dlsym(m_handle, name);
#endif
    if (!address)
        throw LoaderError("plug-in '" + m_path + "' does not export '" + name + "'");
    return address;
}

ModuleInfoLayout moduleInfoLayoutOf(const ProcessingModule& instance) {
    return instance.isTyped() == 1 ? ModuleInfoLayout::DestructorFirst : ModuleInfoLayout::GettersFirst;
}

// Nothing in a library tells its ModuleInfo layout except an instance (isTyped), and reading the
// object through the wrong layout calls the destructor for a getter. An instance needs parameters
// the module accepts, and zqx_ratefold accepts none by default (its rates are required), so a
// library read without an instance (`zqx info` without parameters, the plug-in tests) falls back to
// this name: the one deliverable built on TypedProcessingModule.
ModuleInfoLayout moduleInfoLayoutFor(const std::string& libraryName) {
    return libraryName == "zqx_ratefold" ? ModuleInfoLayout::DestructorFirst
                                         : ModuleInfoLayout::GettersFirst;
}

PluginLibrary::PluginLibrary(const std::string& path)
    : PluginLibrary(path, moduleInfoLayoutFor(baseName(path))) {}

PluginLibrary::PluginLibrary(const std::string& path, ModuleInfoLayout layout)
    : m_library(std::make_shared<SharedLibrary>(path)), m_layout(layout) {
    // Casting through a function-pointer type is how both dlsym and GetProcAddress results are used.
    m_newInstance = reinterpret_cast<NewInstanceFunction>(m_library->symbol("newInstance"));
    m_deleteInstance = reinterpret_cast<DeleteInstanceFunction>(m_library->symbol("deleteInstance"));
    m_getModuleInfo = reinterpret_cast<GetModuleInfoFunction>(m_library->symbol("getModuleInfo"));
}

ModuleInstance PluginLibrary::create(ParameterSet& moduleParams, ParameterSet& globalParams) const {
    ProcessingModule* module = nullptr;
    try {
        module = m_newInstance(&moduleParams, &globalParams);
    } catch (const std::exception&) {
        throw;  // the module's own refusal, passed on unchanged
    } catch (...) {
        throw LoaderError("plug-in '" + name() + "': newInstance threw something that is not an exception");
    }
    if (!module)
        throw LoaderError("plug-in '" + name() + "': newInstance returned no instance (out of memory?)");
    return ModuleInstance(m_library, module, m_deleteInstance);
}

ModuleInfoTexts PluginLibrary::infoTexts() const { return infoTexts(m_layout); }

ModuleInfoTexts PluginLibrary::infoTexts(ModuleInfoLayout layout) const {
    const ModuleInfo* info = nullptr;
    try {
        info = m_getModuleInfo();
        if (info) {
            if (layout == ModuleInfoLayout::DestructorFirst) return readModuleInfoTexts(*asTypedModuleInfo(info));
            return readModuleInfoTexts(*info);
        }
    } catch (const std::exception& error) {
        throw LoaderError("plug-in '" + name() + "': its information object failed: " + error.what());
    } catch (...) {
        throw LoaderError("plug-in '" + name() + "': its information object failed");
    }
    throw LoaderError("plug-in '" + name() + "': getModuleInfo returned no information object");
}

std::string PluginLibrary::name() const { return baseName(path()); }

ModuleInstance::ModuleInstance(ModuleInstance&& other) noexcept
    : m_library(std::move(other.m_library)),
      m_module(std::exchange(other.m_module, nullptr)),
      m_delete(other.m_delete) {}

ModuleInstance& ModuleInstance::operator=(ModuleInstance&& other) noexcept {
    if (this != &other) {
        reset();
        m_library = std::move(other.m_library);
        m_module = std::exchange(other.m_module, nullptr);
        m_delete = other.m_delete;
    }
    return *this;
}

ModuleInstance::~ModuleInstance() { reset(); }

void ModuleInstance::reset() {
    if (m_module) m_delete(std::exchange(m_module, nullptr));
    m_library.reset();
}

}  // namespace zqx::host
