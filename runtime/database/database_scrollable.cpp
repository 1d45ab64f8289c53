/*
** ScrollableCursor: a forward-only RecordSet copied into memory so that
** its rows can be read in any order.  The copy keeps each column's
** StringValue (bytes and encoding).  Between rows it lets the run loop's
** background work run, so other threads go on while a large set is
** copied.
*/
#include <vector>

#include "runtime/database/database_internal.h"
#include "runtime/objects/exceptions.h"
#include "runtime/plugins/host_environment.h"
#include "runtime/text/string_core.h"

namespace quendal {

struct ScrollableRows {
  std::vector<std::vector<StringRef>> rows;
};

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE void ScrollableCursorConstructor(ScrollableCursorObject* scrollable, RecordSetObject* set) {
  QUENDAL_SERVICE_BEGIN
  if (!scrollable) return;
  delete scrollable->rows;
  scrollable->rows = new ScrollableRows();
  if (!RecordSetIsOpen(set)) return;
  const HostEnvironment* environment = InstalledHostEnvironment();
  int32_t columns = cursorFieldCount(set);
  while (!cursorEOFGetter(set)) {
    std::vector<StringRef> row;
    for (int32_t column = 0; column < columns; column++) {
      DatabaseFieldObject reader{};
      reader.recordSet = set;
      reader.column = column;
      row.emplace_back(cursorFieldStringValueGetter(&reader));
    }
    scrollable->rows->rows.push_back(std::move(row));
    cursorMoveNext(set);
    if (environment) environment->backgroundTask();
  }
  QUENDAL_SERVICE_END_VOID
}

extern "C" int32_t ScrollableCursorGetCount(ScrollableCursorObject* scrollable) {
  return scrollable && scrollable->rows ? int32_t(scrollable->rows->rows.size()) : 0;
}

QUENDAL_SERVICE ObjectHeader* ScrollableCursorGetRow(ScrollableCursorObject* scrollable, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  if (index < 1 || index > ScrollableCursorGetCount(scrollable)) return nullptr;
  std::vector<ORVAstring> values;
  for (const StringRef& value : scrollable->rows->rows[size_t(index) - 1]) values.push_back(value.get());
  return NewTextRecord(values);
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" void ScrollableCursorFinalizer(ScrollableCursorObject* scrollable) {
  if (!scrollable) return;
  delete scrollable->rows;
  scrollable->rows = nullptr;
}
