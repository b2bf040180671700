// The three exports of zqx_ratefold.
#include "framework/plugin_entry.h"
#include "modules/ratefold/ratefold_info.h"
#include "modules/ratefold/resample_module.h"

ZQX_DEFINE_PLUGIN(CResampleModule, asModuleInfoPointer(ratefoldModuleInfo()))
