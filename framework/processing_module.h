// ProcessingModule: the base of every module object that a host drives, and DataKind.
//
// Lifecycle, as a host drives an instance:
//   1. newInstance(moduleParams, globalParams): the constructor reads, validates and builds; a
//      bad parameter throws simpleException and no instance exists.
//   2. The getters, at any time.
//   3. process() once per block, in stream order.
//   4. setEndOfStream(), then more process() calls (a module summarising the stream answers now).
//   5. deleteInstance().
// One caller drives an instance at a time. The block process() hands back is owned by the module
// (or is the library's empty block); it stays valid until the next call on the instance.
#pragma once

#include <cstdint>
#include <string>

#include "framework/module_info.h"
#include "framework/parameter_set.h"
#include "framework/simple_exception.h"
#include "qvt/base_vector.h"

enum DataKind : int {
    RealVector = 1,
    ComplexVector = 2,
    RealMatrix = 3,
};

class ProcessingModule {
public:
    // The parameter sets are read by the derived constructor only and never kept.
    ProcessingModule(ParameterSet* moduleParams, ParameterSet* globalParams, ModuleInfo* info);
    virtual ~ProcessingModule();

    virtual void process(DataBlock*& output, const DataBlock* input) = 0;
    virtual const std::string& getInputTypeName() const = 0;
    virtual const std::string& getOutputTypeName() const = 0;
    virtual int getInputKind() const = 0;
    virtual int getOutputKind() const = 0;
    virtual void setEndOfStream();
    virtual bool isEndOfStream() const;
    virtual std::uint32_t getOutputSize(std::uint32_t inputSize) const = 0;
    virtual std::string getParameterNote() const = 0;
    virtual int isTyped() const;

    ProcessingModule(const ProcessingModule&) = delete;
    ProcessingModule& operator=(const ProcessingModule&) = delete;

protected:
    bool endOfStream;
    ModuleInfo* moduleInfo;
};

// The library's one empty output block (null data, size 0). Created on first use, thread-safely,
// and destroyed when the library is unloaded; nobody writes to it.
BaseVector<float>& libraryEmptyBlock();
