// The texts zqx_tonewheel reports about itself.
#include "modules/tonewheel/tonewheel_info.h"

#include "framework/plugin_entry.h"

ModuleInfo* tonewheelModuleInfo() {
    // Lives from the library's load to its unload; every instance points at it.
    static LiteralModuleInfo<ModuleInfo> info(ZQX_MODULE_AUTHOR, ZQX_MODULE_CONTACT, ZQX_MODULE_OWNER,
                                              "Jun  8 2007", "2.0",
                                              "Chroma vector calculation using either fft or mrfft");
    return &info;
}
