// The three exports of zqx_tonewheel.
#include "framework/plugin_entry.h"
#include "modules/tonewheel/chroma_module.h"
#include "modules/tonewheel/tonewheel_info.h"

ZQX_DEFINE_PLUGIN(CChromaModule, tonewheelModuleInfo())
