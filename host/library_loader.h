// Loading plug-in libraries and driving their instances: the shared-library handle, the three
// bound exports, and an instance handle that always releases through the plug-in's deleteInstance.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "framework/plugin_entry.h"

namespace zqx::host {

// A library or symbol that could not be loaded; the message names the path (and the symbol).
class LoaderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An open shared library (dlopen with RTLD_NOW | RTLD_LOCAL, or LoadLibraryEx searching the
// library's own folder for its dependencies), closed on destruction.
class SharedLibrary {
public:
    explicit SharedLibrary(const std::string& path);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol; throws LoaderError naming the path and the symbol.
    void* symbol(const char* name) const;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    void* m_handle = nullptr;
};

// Which virtual layout a library's ModuleInfo has.
enum class ModuleInfoLayout {
    GettersFirst,     // the six getters, then the destructor
    DestructorFirst,  // the destructor, then the six getters (libraries on TypedProcessingModule)
};

// The layout an instance's base class fixes: DestructorFirst when it answers isTyped() 1. This is
// the way to tell; every host path that has an instance uses it.
ModuleInfoLayout moduleInfoLayoutOf(const ProcessingModule& instance);

// The layout of the known deliverables, by library name (file name without folder and suffix), for
// a library read without an instance (see library_loader.cpp for why the name is needed then).
ModuleInfoLayout moduleInfoLayoutFor(const std::string& libraryName);

class ModuleInstance;

// A loaded plug-in with its three exports bound by name.
class PluginLibrary {
public:
    // Throws LoaderError when the file cannot be loaded or an export is missing. The layout
    // defaults to the one known for the library's name.
    explicit PluginLibrary(const std::string& path);
    PluginLibrary(const std::string& path, ModuleInfoLayout layout);

    // newInstance with the two sets; a module's simpleException (any std::exception) passes
    // through unchanged. Throws LoaderError naming the plug-in when it returns null or throws
    // something that is not a std::exception.
    ModuleInstance create(ParameterSet& moduleParams, ParameterSet& globalParams) const;

    ModuleInfo* moduleInfo() const { return m_getModuleInfo(); }
    // The six texts through the layout given at construction, or through the given one; throws
    // LoaderError naming the plug-in when getModuleInfo returns null or a getter throws.
    ModuleInfoTexts infoTexts() const;
    ModuleInfoTexts infoTexts(ModuleInfoLayout layout) const;
    ModuleInfoLayout layout() const { return m_layout; }
    const std::string& path() const { return m_library->path(); }
    // File name without folder and suffix, e.g. "zqx_tonewheel".
    std::string name() const;

private:
    std::shared_ptr<SharedLibrary> m_library;
    ModuleInfoLayout m_layout;
    NewInstanceFunction m_newInstance = nullptr;
    DeleteInstanceFunction m_deleteInstance = nullptr;
    GetModuleInfoFunction m_getModuleInfo = nullptr;
};

// Owns one module instance; destruction calls the creating library's deleteInstance and keeps the
// library loaded until then. Movable, not copyable.
class ModuleInstance {
public:
    ModuleInstance() = default;
    ModuleInstance(ModuleInstance&& other) noexcept;
    ModuleInstance& operator=(ModuleInstance&& other) noexcept;
    ~ModuleInstance();

    ProcessingModule* get() const { return m_module; }
    ProcessingModule* operator->() const { return m_module; }
    ProcessingModule& operator*() const { return *m_module; }
    explicit operator bool() const { return m_module != nullptr; }
    void reset();

private:
    friend class PluginLibrary;
    ModuleInstance(std::shared_ptr<SharedLibrary> library, ProcessingModule* module,
                   DeleteInstanceFunction deleter)
        : m_library(std::move(library)), m_module(module), m_delete(deleter) {}

    std::shared_ptr<SharedLibrary> m_library;
    ProcessingModule* m_module = nullptr;
    DeleteInstanceFunction m_delete = nullptr;
};

}  // namespace zqx::host
