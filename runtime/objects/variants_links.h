/*
** The variants module's link provisions: the boxes and their operators,
** type codes, conversions, hashing, comparison and arithmetic of variants,
** the scalar conversions and 64-bit and Currency arithmetic, and the
** number text members that take a variant (StringStrVariant, runCStr,
** RuntimeHexVariant, RuntimeOctVariant, RuntimeBinVariant).
*/
#ifndef QUENDAL_OBJECTS_VARIANTS_LINKS_H
#define QUENDAL_OBJECTS_VARIANTS_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions VariantsLinkProvisions();

} // namespace quendal

#endif
