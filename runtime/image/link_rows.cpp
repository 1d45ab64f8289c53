/*
** The static rows of the link table, expanded from link_rows.def three
** ways: rows bound to a runtime function (LINK_ROW), rows of services not
** built yet (LINK_TODO, bound to RuntimeServicePlaceholder) and rows of
** services this runtime never offers (LINK_NONE, bound to
** RuntimeServiceNotAvailable).
**
** This file deliberately includes none of the services' headers: each
** function is declared here only to take its address, and the services'
** C signatures differ from one another.
*/
#include <cassert>

#include "runtime/image/link_table.h"

extern "C" int64_t RuntimeServiceNotAvailable();

#define LINK_ROW(name, function, group) extern "C" void function();
#define LINK_TODO(name, function, group)
#define LINK_NONE(name, function, group)
#include "runtime/image/link_rows.def"
#undef LINK_ROW
#undef LINK_TODO
#undef LINK_NONE

namespace quendal {

namespace {

struct StaticRowInfo {
  LinkRowState state;
  const char* group;
};

LinkRow gStaticRows[] = {
#define LINK_ROW(name, function, group) {#name, reinterpret_cast<void*>(&function), {0, 0}},
#define LINK_TODO(name, function, group) {#name, reinterpret_cast<void*>(&RuntimeServicePlaceholder), {0, 0}},
#define LINK_NONE(name, function, group) {#name, reinterpret_cast<void*>(&RuntimeServiceNotAvailable), {0, 0}},
#include "runtime/image/link_rows.def"
#undef LINK_ROW
#undef LINK_TODO
#undef LINK_NONE
};

const StaticRowInfo gStaticInfo[] = {
#define LINK_ROW(name, function, group) {LinkRowState::Built, #group},
#define LINK_TODO(name, function, group) {LinkRowState::Placeholder, #group},
#define LINK_NONE(name, function, group) {LinkRowState::Unavailable, "unavailable"},
#include "runtime/image/link_rows.def"
#undef LINK_ROW
#undef LINK_TODO
#undef LINK_NONE
};

constexpr size_t kStaticRowCount = sizeof(gStaticRows) / sizeof(gStaticRows[0]);
static_assert(sizeof(gStaticInfo) / sizeof(gStaticInfo[0]) == kStaticRowCount);

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

} // namespace quendal
