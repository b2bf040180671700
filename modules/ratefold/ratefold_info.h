// The information object of the zqx_ratefold library.
#pragma once

#include "framework/module_info.h"

// The library's one information object, in the destructor-first layout of libraries built on
// TypedProcessingModule; the same pointer on every call.
TypedModuleInfo* ratefoldModuleInfo();
