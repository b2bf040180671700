// The information object of the zqx_tonewheel library.
#pragma once

#include "framework/module_info.h"

// The library's one ModuleInfo (getters-first layout); the same pointer on every call.
ModuleInfo* tonewheelModuleInfo();
