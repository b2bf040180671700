// The three exports of zqx_swellgrid.
#include "framework/plugin_entry.h"
#include "modules/swellgrid/dynamic_midlevel_module.h"
#include "modules/swellgrid/swellgrid_info.h"

ZQX_DEFINE_PLUGIN(DynamicMidlevelModule, swellgridModuleInfo())
