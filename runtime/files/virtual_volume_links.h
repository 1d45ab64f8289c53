/*
** The link-table provisions of the files layer's virtual-volume module.
*/
#ifndef QUENDAL_FILES_VIRTUAL_VOLUME_LINKS_H
#define QUENDAL_FILES_VIRTUAL_VOLUME_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions VirtualVolumeLinkProvisions();

} // namespace quendal

#endif
