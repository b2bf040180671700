// The fixed texts of zqx_swellgrid.
#include "modules/swellgrid/swellgrid_info.h"

#include "framework/plugin_entry.h"

ModuleInfo* swellgridModuleInfo() {
    // Constructed on first use and destroyed when the library is unloaded.
    static LiteralModuleInfo<ModuleInfo> info(ZQX_MODULE_AUTHOR, ZQX_MODULE_CONTACT, ZQX_MODULE_OWNER,
                                              "Jun  1 2007", "1.0", "dynamic-midlevel");
    return &info;
}
