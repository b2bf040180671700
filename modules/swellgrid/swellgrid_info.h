// The information object of the zqx_swellgrid library.
#pragma once

#include "framework/module_info.h"

// The library's one ModuleInfo (getters first, destructor last); lives from load to unload.
ModuleInfo* swellgridModuleInfo();
