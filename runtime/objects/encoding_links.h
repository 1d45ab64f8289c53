/*
** The link-table provisions of the text-encoding objects, converters and the
** Encodings list.
*/
#ifndef QUENDAL_OBJECTS_ENCODING_LINKS_H
#define QUENDAL_OBJECTS_ENCODING_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions EncodingsLinkProvisions();

} // namespace quendal

#endif
