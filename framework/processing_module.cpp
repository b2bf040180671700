// Default operations of ProcessingModule and the library's empty block.
#include "framework/processing_module.h"

ProcessingModule::ProcessingModule(ParameterSet*, ParameterSet*, ModuleInfo* info)
    : endOfStream(false), moduleInfo(info) {}

ProcessingModule::~ProcessingModule() = default;

void ProcessingModule::setEndOfStream() { endOfStream = true; }

bool ProcessingModule::isEndOfStream() const { return endOfStream; }

int ProcessingModule::isTyped() const { return 0; }

BaseVector<float>& libraryEmptyBlock() {
    // A function-local static is initialised once even when two instances' first process() calls
    // race, and lives until the library is unloaded. Each plug-in links its own copy.
    static Vector<float> empty;
    return empty;
}
