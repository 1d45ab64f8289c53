/*
** The link-table provisions of the files layer's Streams module.
*/
#ifndef QUENDAL_FILES_STREAMS_LINKS_H
#define QUENDAL_FILES_STREAMS_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions StreamsLinkProvisions();

} // namespace quendal

#endif
