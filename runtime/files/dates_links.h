/*
** The link-table provisions of the files layer's Dates module.
*/
#ifndef QUENDAL_FILES_DATES_LINKS_H
#define QUENDAL_FILES_DATES_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions DatesLinkProvisions();

} // namespace quendal

#endif
