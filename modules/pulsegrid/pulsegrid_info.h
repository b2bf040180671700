// The information object of the zqx_pulsegrid library.
#pragma once

#include "framework/module_info.h"

// The library's one static ModuleInfo (getters first, destructor last). It lives from the
// library's load to its unload; the same pointer on every call.
ModuleInfo* pulsegridModuleInfo();
