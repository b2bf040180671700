// Where the Python package looks for plug-ins: the folders in ZQX_PLUGIN_PATH, then the folder of
// the native module (where an installed package, and the build tree's copy of it, keep the
// plug-ins), then <prefix>/lib/zqx.
#pragma once

#include "host/plugin_locator.h"

namespace zqx::python {

// Reads ZQX_PLUGIN_PATH as it stands now. Call with the GIL held (the first call asks Python where
// the native module lies).
host::PluginLocator packageLocator();

}  // namespace zqx::python
