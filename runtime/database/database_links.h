/*
** The database layer's exported services, for the link table.
*/
#ifndef QUENDAL_DATABASE_DATABASE_LINKS_H
#define QUENDAL_DATABASE_DATABASE_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions DatabaseLinkProvisions();

} // namespace quendal

#endif
