/*
** The link-table provisions of the object model: classes, objects and
** reference counts, type tests, generic accessors, delegates, weak
** references, collections and object cursors, exceptions, arrays, the stack
** limits, and Split and Join.
*/
#ifndef QUENDAL_OBJECTS_OBJECT_LINKS_H
#define QUENDAL_OBJECTS_OBJECT_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions ObjectsLinkProvisions();

} // namespace quendal

#endif
