/*
** The link table's dynamic part, the link index and link registration.
** See link_table.h for the contract; the static rows are in link_rows.cpp.
*/
#include "runtime/image/link_table.h"

#include <cassert>
#include <cstdlib>
#include <vector>

#include "runtime/base/failure_report.h"
#include "runtime/text/string_map.h"

namespace quendal {

namespace {

/* The dynamic part: row pointers with a count and a capacity that grows by
** max(16, capacity). */
struct DynamicRows {
  LinkRow** rows = nullptr;
  size_t count = 0;
  size_t capacity = 0;
};
DynamicRows gDynamic;
StringMap* gIndex = nullptr;

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

void BuildIndexIfNeeded() {
  if (gIndex) return;
  gIndex = new StringMap();
  for (size_t i = 0; i < LinkStaticRowCount(); i++) {
    LinkRow* row = LinkStaticRow(i);
    if (row->name) gIndex->Insert(row->name, row);
  }
  for (size_t i = 0; i < gDynamic.count; i++) {
    if (gDynamic.rows[i]->name) gIndex->Insert(gDynamic.rows[i]->name, gDynamic.rows[i]);
  }
}

bool GrowDynamicRows() {
  size_t step = gDynamic.capacity > 16 ? gDynamic.capacity : 16;
  size_t capacity = gDynamic.capacity + step;
  void* grown = std::realloc(gDynamic.rows, capacity * sizeof(LinkRow*));
  if (!grown) return false;
  gDynamic.rows = static_cast<LinkRow**>(grown);
  gDynamic.capacity = capacity;
  return true;
}

} // namespace

size_t LinkRowCount() { return LinkStaticRowCount() + gDynamic.count; }

const LinkRow* LinkRowAt(size_t index) {
  if (index < LinkStaticRowCount()) return LinkStaticRow(index);
  index -= LinkStaticRowCount();
  return index < gDynamic.count ? gDynamic.rows[index] : nullptr;
}

const LinkRow* LinkFindFirstRow(const char* name) {
  size_t total = LinkRowCount();
  for (size_t i = 0; i < total; i++) {
    const LinkRow* row = LinkRowAt(i);
    if (row->name && EqualIgnoringAsciiCase(row->name, name)) return row;
  }
  return nullptr;
}

const LinkRow* LinkLookupRow(const char* name) {
  if (!name) return nullptr;
  BuildIndexIfNeeded();
  return static_cast<const LinkRow*>(gIndex->Find(name));
}

void* LinkLookup(const char* name) {
  const LinkRow* row = LinkLookupRow(name);
  return row ? row->entry : nullptr;
}

void LinkRegister(const char* name, void* entry) {
  if (!entry) return;
  BuildIndexIfNeeded();
  if (name) {
    const LinkRow* old = static_cast<const LinkRow*>(gIndex->Find(name));
    if (old) {
      if (old->entry != entry) {
        RuntimeFailureReport(kFailureAssertion, "relocentry.cpp", __LINE__,
                             "functionPtr == oldEntry->code");
      }
      return;
    }
  }
  if (gDynamic.count == gDynamic.capacity && !GrowDynamicRows()) {
    RuntimeFailureReport(kFailureAssertion, "relocentry.cpp", __LINE__, "newEntry");
    return;
  }
  LinkRow* row = new LinkRow{name, entry, {0, 0}};
  gDynamic.rows[gDynamic.count++] = row;
  if (name) gIndex->Insert(name, row);
}

void LinkResetForTesting() {
  for (size_t i = 0; i < gDynamic.count; i++) delete gDynamic.rows[i];
  std::free(gDynamic.rows);
  gDynamic = DynamicRows{};
  delete gIndex;
  gIndex = nullptr;
}

} // namespace quendal

extern "C" int64_t RuntimeServicePlaceholder() {
  quendal::RuntimeFailureReport(quendal::kFailureAssertion, "relocentry.cpp", __LINE__,
                                "serviceBuilt", "This runtime service is not built yet.");
  return 0;
}
