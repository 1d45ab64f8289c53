/*
** The single-file engine's exported services, for the link table.
*/
#ifndef QUENDAL_DATABASE_SINGLE_FILE_LINKS_H
#define QUENDAL_DATABASE_SINGLE_FILE_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions SingleFileLinkProvisions();

} // namespace quendal

#endif
