// The exports of zqx_pulsegrid: newInstance, deleteInstance and getModuleInfo.
#include "framework/plugin_entry.h"
#include "modules/pulsegrid/pulsegrid_info.h"
#include "modules/pulsegrid/rhythmic_midlevel_module.h"

ZQX_DEFINE_PLUGIN(RhythmicMidlevelModule, pulsegridModuleInfo())
