// The texts zqx_ratefold reports about itself.
#include "modules/ratefold/ratefold_info.h"

#include "framework/plugin_entry.h"

TypedModuleInfo* ratefoldModuleInfo() {
    // Lives from the library's load to its unload; every instance points at it.
    static LiteralModuleInfo<TypedModuleInfo> info(ZQX_MODULE_AUTHOR, ZQX_MODULE_CONTACT, ZQX_MODULE_OWNER,
                                                   "Jul  5 2007", "1.0",
                                                   "Converts sample rates, freely configurable.");
    return &info;
}
