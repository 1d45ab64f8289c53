/*
** The plugin host's seam in start-up.  See plugin_host.h: no plugin is
** loaded yet.
*/
#include "runtime/plugins/plugin_host.h"

namespace quendal {

void LoadPlugins() {}

} // namespace quendal
