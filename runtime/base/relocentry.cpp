/*
** The link table: static rows from the catalogue, their installation from
** the modules' provision lists, the dynamic part, the link index and link
** registration.  See link_table.h for the contract.  The file carries the
** name the runtime's reports give this module: "relocentry.cpp".
*/
#include "runtime/base/link_table.h"

#include <cassert>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "runtime/base/failure_report.h"

namespace quendal {

namespace {

struct StaticRowInfo {
  const char* group;
  LinkRowState state;
};

LinkRow gStaticRows[] = {
#define LINK_NAME(name, group) {#name, reinterpret_cast<void*>(&RuntimeServicePlaceholder), {0, 0}},
#include "runtime/base/link_catalogue.def"
#undef LINK_NAME
};

StaticRowInfo gStaticInfo[] = {
#define LINK_NAME(name, group) {#group, LinkRowState::Placeholder},
#include "runtime/base/link_catalogue.def"
#undef LINK_NAME
};

constexpr size_t kStaticRowCount = sizeof(gStaticRows) / sizeof(gStaticRows[0]);
static_assert(sizeof(gStaticInfo) / sizeof(gStaticInfo[0]) == kStaticRowCount);

/* The dynamic part: row pointers with a count and a capacity that grows by
** max(16, capacity). */
struct DynamicRows {
  LinkRow** rows = nullptr;
  size_t count = 0;
  size_t capacity = 0;
};
DynamicRows gDynamic;

/* Names are C identifiers or plugin keys; the index folds ASCII letters
** to upper case, as the binding search compares them. */
std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return folded;
}

using LinkIndex = std::unordered_map<std::string, LinkRow*>;
LinkIndex* gIndex = nullptr;

std::vector<std::string> gProblems;

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

/* A later row of the same name replaces an earlier one. */
void IndexRow(LinkRow* row) {
  if (row->name) (*gIndex)[FoldedName(row->name)] = row;
}

void BuildIndexIfNeeded() {
  if (gIndex) return;
  gIndex = new LinkIndex();
  for (size_t i = 0; i < kStaticRowCount; i++) IndexRow(&gStaticRows[i]);
  for (size_t i = 0; i < gDynamic.count; i++) IndexRow(gDynamic.rows[i]);
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

size_t LinkStaticRowCount() { return kStaticRowCount; }

LinkRow* LinkStaticRow(size_t index) {
  assert(index < kStaticRowCount);
  return &gStaticRows[index];
}

LinkRowState LinkStaticRowState(size_t index) {
  assert(index < kStaticRowCount);
  return gStaticInfo[index].state;
}

const char* LinkStaticRowGroup(size_t index) {
  assert(index < kStaticRowCount);
  return gStaticInfo[index].group;
}

/* Binds every static row of that exact name; false when none has it. */
static bool BindStaticRows(std::string_view name, void* entry, bool* twice = nullptr) {
  bool named = false;
  for (size_t i = 0; i < kStaticRowCount; i++) {
    if (std::string_view(gStaticRows[i].name) != name) continue;
    named = true;
    if (gStaticInfo[i].state != LinkRowState::Placeholder) {
      if (twice) *twice = true;
      continue;
    }
    gStaticRows[i].entry = entry;
    gStaticInfo[i].state = LinkRowState::Built;
  }
  return named;
}

void LinkInstallProvisions(LinkProvisions provisions) {
  for (const LinkProvision& p : provisions) {
    bool twice = false;
    bool named = BindStaticRows(p.name, p.entry, &twice);
    if (!named) gProblems.push_back(std::string("not in the catalogue: ") + p.name);
    if (twice) gProblems.push_back(std::string("provided twice: ") + p.name);
  }
}

void LinkInstallUnavailable(void* entry) {
  for (size_t i = 0; i < kStaticRowCount; i++) {
    if (std::string_view(gStaticInfo[i].group) != "unavailable") continue;
    gStaticRows[i].entry = entry;
    gStaticInfo[i].state = LinkRowState::Unavailable;
  }
}

const std::vector<std::string>& LinkProvisionProblems() { return gProblems; }

size_t LinkRowCount() { return kStaticRowCount + gDynamic.count; }

const LinkRow* LinkRowAt(size_t index) {
  if (index < kStaticRowCount) return &gStaticRows[index];
  index -= kStaticRowCount;
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
  auto found = gIndex->find(FoldedName(name));
  return found == gIndex->end() ? nullptr : found->second;
}

void* LinkLookup(const char* name) {
  const LinkRow* row = LinkLookupRow(name);
  return row ? row->entry : nullptr;
}

void LinkRegister(const char* name, void* entry) {
  if (!entry) return;
  BuildIndexIfNeeded();
  if (name) {
    const LinkRow* old = LinkLookupRow(name);
    if (old && old->entry == reinterpret_cast<void*>(&RuntimeServicePlaceholder)) {
      /* A catalogue row that no provision served yet takes the entry. */
      BindStaticRows(old->name, entry);
      return;
    }
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
  IndexRow(row);
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
