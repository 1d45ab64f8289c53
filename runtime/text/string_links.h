/*
** The link-table provisions of the string records and the string functions:
** reference counts, building, foreign representations, comparison, slicing,
** search, replace, fields, case and trimming.
*/
#ifndef QUENDAL_TEXT_STRING_LINKS_H
#define QUENDAL_TEXT_STRING_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions StringsLinkProvisions();

} // namespace quendal

#endif
