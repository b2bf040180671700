// TypedProcessingModule: a module base that declares real or complex input and output and
// dispatches process() to one operation per combination.
#pragma once

#include "framework/processing_module.h"

class TypedProcessingModule : public ProcessingModule {
public:
    // Libraries built on this base use the destructor-first TypedModuleInfo layout.
    TypedProcessingModule(ParameterSet* moduleParams, ParameterSet* globalParams, TypedModuleInfo* info);
    ~TypedProcessingModule() override;

    // Asks getInputKind() then getOutputKind() (virtually) and calls the matching operation; any
    // kind but 1 counts as complex.
    void process(DataBlock*& output, const DataBlock* input) override;
    int getInputKind() const override;
    int getOutputKind() const override;
    int isTyped() const override;

    // Each default throws simpleException: a 28-character prefix naming the combination, then the
    // library's description.
    virtual void processComplexToComplex(DataBlock*& output, const DataBlock* input);
    virtual void processRealToComplex(DataBlock*& output, const DataBlock* input);
    virtual void processComplexToReal(DataBlock*& output, const DataBlock* input);
    virtual void processRealToReal(DataBlock*& output, const DataBlock* input);
    virtual bool isInputComplex() const = 0;
    virtual bool isOutputComplex() const = 0;

private:
    [[noreturn]] void throwUndefined(const char* prefix) const;
};
