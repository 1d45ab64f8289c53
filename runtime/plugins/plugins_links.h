/*
** The plugin host's exported services, for the link table.
*/
#ifndef QUENDAL_PLUGINS_PLUGINS_LINKS_H
#define QUENDAL_PLUGINS_PLUGINS_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions PluginsLinkProvisions();

} // namespace quendal

#endif
