// Where the adapter finds the zqx plug-ins it drives: the folders of ZQX_PLUGIN_PATH, then an
// installed tree's <libdir>/zqx beside the adapter's <libdir>/vamp, then the adapter's own folder
// (a build tree), then the folder the build installs plug-ins into.
#pragma once

#include <string>

#include "host/plugin_locator.h"

namespace zqx::vamp {

// The folder holding the adapter library itself, or "" if it cannot be told.
std::string adapterDirectory();

// The locator for the search path above, with the environment read now.
host::PluginLocator modulePluginLocator();

}  // namespace zqx::vamp
