/*
** The link-table provisions of start-up, the console application, the run
** loop and console input and output.
*/
#ifndef QUENDAL_IMAGE_STARTUP_LINKS_H
#define QUENDAL_IMAGE_STARTUP_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions StartupLinkProvisions();

} // namespace quendal

#endif
