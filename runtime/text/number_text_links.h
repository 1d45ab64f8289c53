/*
** The number text module's link provisions: Str, Format, Hex/Oct/Bin of
** plain numbers, Val, CDbl, CLng and the backslash escapes.  The members
** that take a variant live in the object layer (variants_links.h).
*/
#ifndef QUENDAL_TEXT_NUMBER_TEXT_LINKS_H
#define QUENDAL_TEXT_NUMBER_TEXT_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions NumberTextLinkProvisions();

} // namespace quendal

#endif
