/*
** The link table: the catalogue of named runtime entry points that app
** images and plugins bind to, by name, without regard to ASCII case.
**
** Rows are addressed by one index: the static part (the names of
** link_catalogue.def, in order) comes first, the dynamic part (rows added
** by LinkRegister at run time) follows in order of registration.  A few
** names appear in several static rows; a provision binds all of them.
**
** Static rows get their entries at start-up, before anything binds:
** LinkInstallProvisions takes each module's provision list
** (link_provision.h) and LinkInstallUnavailable binds the rows of the
** group "unavailable".  Until then, and for every name no list provides,
** a row is bound to RuntimeServicePlaceholder.
**
** The link index (name to row) is built on first use from every named
** static row and then every named dynamic row, a later row replacing an
** earlier one of the same name; LinkRegister keeps it up to date once
** built.  No lock: every writer runs on the main thread during start-up and
** plugin loading.
**
** Implemented in relocentry.cpp, the source name its failure reports carry.
*/
#ifndef QUENDAL_BASE_LINK_TABLE_H
#define QUENDAL_BASE_LINK_TABLE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/base/link_provision.h"

namespace quendal {

/* One row, laid out as the stored table is: name, entry, two reserved words. */
struct LinkRow {
  const char* name;
  void* entry;
  uint32_t reserved[2];
};
static_assert(sizeof(LinkRow) == 24, "link row: two pointers and two 32-bit words");

/* What a static row's entry is, for progress listings and tests. */
enum class LinkRowState : uint8_t {
  Built,        /* bound to the service by a provision */
  Placeholder,  /* no provision: bound to RuntimeServicePlaceholder */
  Unavailable,  /* service this runtime never offers */
};

size_t LinkStaticRowCount();
LinkRow* LinkStaticRow(size_t index);
LinkRowState LinkStaticRowState(size_t index);
const char* LinkStaticRowGroup(size_t index);

/* Binds every static row named by a provision of the list (names compared
** exactly).  A provision whose name is not in the catalogue, or a name
** provided a second time, binds nothing and is recorded as a problem. */
void LinkInstallProvisions(LinkProvisions provisions);
/* Binds every row of the group "unavailable" to entry. */
void LinkInstallUnavailable(void* entry);
/* What the installations found wrong, one line each ("not in the catalogue:
** X", "provided twice: X"); empty when all is well. */
const std::vector<std::string>& LinkProvisionProblems();

/* Total rows (static + dynamic) and row by index; null past the end. */
size_t LinkRowCount();
const LinkRow* LinkRowAt(size_t index);

/* Binding search of the loader: the first row, by index from 0, whose
** name equals name ignoring ASCII case; null when none. */
const LinkRow* LinkFindFirstRow(const char* name);

/* Link look-up through the index: the entry registered under name
** (ignoring case), or null. */
void* LinkLookup(const char* name);

/* The row the index holds for name, or null (the plugin resolver hands
** out row addresses). */
const LinkRow* LinkLookupRow(const char* name);

/* Link registration: a null entry does nothing; a known name with the same
** entry does nothing; a catalogue name still bound to the placeholder takes
** the entry (every row of that name); a known name with another entry is
** reported and ignored; otherwise a dynamic row is appended.  name is borrowed and must
** outlive the process (plugin names are copied by the caller). */
void LinkRegister(const char* name, void* entry);

/* Test seam: drop every dynamic row and the index. */
void LinkResetForTesting();

} // namespace quendal

extern "C" {
/* The one routine that stands in for services not built yet.  It reports
** the call as a failed assertion and returns 0. */
int64_t RuntimeServicePlaceholder();
}

#endif
