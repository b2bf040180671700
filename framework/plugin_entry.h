// The three functions every plug-in exports, and the pieces a module library uses to define them.
//
// A module library adds only its class and its texts:
//
//   ModuleInfo* myModuleInfo() {
//       static LiteralModuleInfo<ModuleInfo> info{author, contact, owner, date, version, text};
//       return &info;
//   }
//   ZQX_DEFINE_PLUGIN(MyModule, myModuleInfo())       // in modules/<name>/plugin_entry.cpp
#pragma once

#include <new>

#include "framework/module_info.h"
#include "framework/processing_module.h"

#if defined(_WIN32)
#define ZQX_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define ZQX_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Creates the library's module from the host's two parameter sets. Null when memory runs out; a
// rejected parameter propagates as simpleException after the memory has been released.
ZQX_PLUGIN_EXPORT ProcessingModule* newInstance(ParameterSet* moduleParams, ParameterSet* globalParams);
// Destroys an instance of this library; null is ignored.
ZQX_PLUGIN_EXPORT void deleteInstance(ProcessingModule* module);
// The library's static information object: the same pointer on every call, never freed.
ZQX_PLUGIN_EXPORT ModuleInfo* getModuleInfo();

using NewInstanceFunction = ProcessingModule* (*)(ParameterSet*, ParameterSet*);
using DeleteInstanceFunction = void (*)(ProcessingModule*);
using GetModuleInfoFunction = ModuleInfo* (*)();

// An information object whose getters return fixed texts; Base picks the virtual layout.
template <typename Base>
class LiteralModuleInfo final : public Base {
public:
    LiteralModuleInfo(const char* author, const char* contact, const char* ownerNotice, const char* date,
                      const char* version, const char* description)
        : m_author(author), m_contact(contact), m_ownerNotice(ownerNotice), m_date(date),
          m_version(version), m_description(description) {}

    std::string getAuthor() const override { return m_author; }
    std::string getContact() const override { return m_contact; }
    std::string getOwnerNotice() const override { return m_ownerNotice; }
    std::string getDate() const override { return m_date; }
    std::string getVersion() const override { return m_version; }
    std::string getDescription() const override { return m_description; }

private:
    const char* m_author;
    const char* m_contact;
    const char* m_ownerNotice;
    const char* m_date;
    const char* m_version;
    const char* m_description;
};

// The texts every zqx library shares.
#define ZQX_MODULE_AUTHOR "Mira Okafor"
#define ZQX_MODULE_CONTACT "mira.okafor@zqx-audio.org"
#define ZQX_MODULE_OWNER "zqx audio project 2026"

#define ZQX_DEFINE_PLUGIN(ModuleClass, moduleInfoExpression)                                      \
    ProcessingModule* newInstance(ParameterSet* moduleParams, ParameterSet* globalParams) {       \
        return new (std::nothrow) ModuleClass(moduleParams, globalParams);                        \
    }                                                                                            \
    void deleteInstance(ProcessingModule* module) { delete module; }                             \
    ModuleInfo* getModuleInfo() { return (moduleInfoExpression); }
