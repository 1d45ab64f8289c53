/*
** The link-table provisions of MemoryBlock.
*/
#ifndef QUENDAL_OBJECTS_MEMORY_BLOCK_LINKS_H
#define QUENDAL_OBJECTS_MEMORY_BLOCK_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions MemoryBlockLinkProvisions();

} // namespace quendal

#endif
