/*
** What the object layer asks of Date objects.
**
** Variants treat a Date (a class of the files layer, which sits above this
** one) as a value of its own kind: its type code, its TotalSeconds as a
** number, new dates made from numbers, and date comparison.  The files
** layer installs this table at start-up; until then no object counts as a
** Date and conversions to Date fail.
*/
#ifndef QUENDAL_OBJECTS_DATE_SUPPORT_H
#define QUENDAL_OBJECTS_DATE_SUPPORT_H

#include <cstdint>

#include "runtime/objects/object_model.h"

namespace quendal {

struct DateSupport {
  /* True when the object is a Date (an instance of the Date class or of a
  ** subclass). */
  bool (*isDate)(ObjectHeader* object);
  /* TotalSeconds of a Date (seconds since 1904-01-01 00:00:00, local). */
  double (*totalSeconds)(ObjectHeader* date);
  /* A new Date with that TotalSeconds; owned by the caller. */
  ObjectHeader* (*newDate)(double totalSeconds);
  /* DateCompare: nil sorts first; -1, 0 or 1. */
  int32_t (*compare)(ObjectHeader* a, ObjectHeader* b);
};

/* Installs the table (borrowed; it must live as long as the process). */
void InstallDateSupport(const DateSupport* support);

/* The installed table, or null before the files layer installed it. */
const DateSupport* InstalledDateSupport();

} // namespace quendal

#endif
