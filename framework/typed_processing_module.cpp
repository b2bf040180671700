// Dispatch and the throwing defaults of TypedProcessingModule.
#include "framework/typed_processing_module.h"

TypedProcessingModule::TypedProcessingModule(ParameterSet* moduleParams, ParameterSet* globalParams,
                                             TypedModuleInfo* info)
    : ProcessingModule(moduleParams, globalParams, asModuleInfoPointer(info)) {}

TypedProcessingModule::~TypedProcessingModule() = default;

void TypedProcessingModule::process(DataBlock*& output, const DataBlock* input) {
    const bool realIn = getInputKind() == RealVector;
    const bool realOut = getOutputKind() == RealVector;
    if (realIn && realOut)
        processRealToReal(output, input);
    else if (realIn)
        processRealToComplex(output, input);
    else if (realOut)
        processComplexToReal(output, input);
    else
        processComplexToComplex(output, input);
}

int TypedProcessingModule::getInputKind() const { return isInputComplex() ? ComplexVector : RealVector; }

int TypedProcessingModule::getOutputKind() const { return isOutputComplex() ? ComplexVector : RealVector; }

int TypedProcessingModule::isTyped() const { return 1; }

void TypedProcessingModule::processComplexToComplex(DataBlock*&, const DataBlock*) {
    throwUndefined("process : C->C not defined. ");
}

void TypedProcessingModule::processRealToComplex(DataBlock*&, const DataBlock*) {
    throwUndefined("process : R->C not defined. ");
}

void TypedProcessingModule::processComplexToReal(DataBlock*&, const DataBlock*) {
    throwUndefined("process : C->R not defined. ");
}

void TypedProcessingModule::processRealToReal(DataBlock*&, const DataBlock*) {
    throwUndefined("process : R->R not defined. ");
}

void TypedProcessingModule::throwUndefined(const char* prefix) const {
    throw simpleException(std::string(prefix) + asTypedModuleInfo(moduleInfo)->getDescription());
}
