// The texts of the zqx_pulsegrid library.
#include "modules/pulsegrid/pulsegrid_info.h"

#include "framework/plugin_entry.h"

ModuleInfo* pulsegridModuleInfo() {
    // Constructed on first use and destroyed when the library is unloaded.
    static LiteralModuleInfo<ModuleInfo> info(ZQX_MODULE_AUTHOR, ZQX_MODULE_CONTACT, ZQX_MODULE_OWNER,
                                              "Jun  1 2007", "1.0",
                                              "collects vectors and concatenates them to matrices");
    return &info;
}
