// ModuleInfo: the per-library static object with six text getters.
//
// Two virtual layouts exist. Libraries built on ProcessingModule use ModuleInfo: the six getters,
// then the destructor. Libraries built on TypedProcessingModule (zqx_ratefold) use
// TypedModuleInfo: the destructor first, then the six getters. getModuleInfo() hands out both as a
// ModuleInfo pointer; a caller that knows the library's layout converts it back before calling.
#pragma once

#include <string>

class ModuleInfo {
public:
    virtual std::string getAuthor() const = 0;
    virtual std::string getContact() const = 0;
    virtual std::string getOwnerNotice() const = 0;
    // "Mmm dd yyyy": three-letter month, day right-aligned in two characters, four-digit year.
    virtual std::string getDate() const = 0;
    virtual std::string getVersion() const = 0;
    virtual std::string getDescription() const = 0;
    virtual ~ModuleInfo() = default;
};

class TypedModuleInfo {
public:
    virtual ~TypedModuleInfo() = default;
    virtual std::string getAuthor() const = 0;
    virtual std::string getContact() const = 0;
    virtual std::string getOwnerNotice() const = 0;
    virtual std::string getDate() const = 0;
    virtual std::string getVersion() const = 0;
    virtual std::string getDescription() const = 0;
};

// The pointer that getModuleInfo() returns for a TypedModuleInfo library, and the way back.
inline ModuleInfo* asModuleInfoPointer(TypedModuleInfo* info) {
    return reinterpret_cast<ModuleInfo*>(info);
}
inline const TypedModuleInfo* asTypedModuleInfo(const ModuleInfo* info) {
    return reinterpret_cast<const TypedModuleInfo*>(info);
}

// The six texts of one library, read through the layout it was built with.
struct ModuleInfoTexts {
    std::string author, contact, ownerNotice, date, version, description;
};

template <typename Info>
ModuleInfoTexts readModuleInfoTexts(const Info& info) {
    return {info.getAuthor(),  info.getContact(),  info.getOwnerNotice(),
            info.getDate(),    info.getVersion(),  info.getDescription()};
}
