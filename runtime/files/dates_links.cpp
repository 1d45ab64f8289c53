/*
** Date services.
*/
#include "runtime/files/dates_links.h"

#include "runtime/files/date.h"

namespace quendal {

LinkProvisions DatesLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(AutoInitDate),
      QUENDAL_PROVIDE(DateCompare),
      QUENDAL_PROVIDE(dateFieldGetter),
      QUENDAL_PROVIDE(dateFieldSetter),
      QUENDAL_PROVIDE(DateFinalizer),
      QUENDAL_PROVIDE(dateGMTOffsetGetter),
      QUENDAL_PROVIDE(dateGMTOffsetSetter),
      QUENDAL_PROVIDE(dateSQLDateGetter),
      QUENDAL_PROVIDE(dateSQLDateSetter),
      QUENDAL_PROVIDE(dateSQLDateTimeGetter),
      QUENDAL_PROVIDE(dateSQLDateTimeSetter),
      QUENDAL_PROVIDE(dateStringGetter),
      QUENDAL_PROVIDE(dateTotalSecondsGetter),
      QUENDAL_PROVIDE(dateTotalSecondsSetter),
      QUENDAL_PROVIDE(parseDate),
  };
  return kProvisions;
}

} // namespace quendal
