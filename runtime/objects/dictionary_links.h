/*
** The link-table provisions of Dictionary.
*/
#ifndef QUENDAL_OBJECTS_DICTIONARY_LINKS_H
#define QUENDAL_OBJECTS_DICTIONARY_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions DictionaryLinkProvisions();

} // namespace quendal

#endif
