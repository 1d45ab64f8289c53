/*
** What a module offers the link table: its exported services by link name.
**
** The link table's names form one catalogue (link_catalogue.def); the
** entries behind them belong to the modules that implement them.  Each
** module keeps its own list of provisions in a file of its own
** (<module>_links.cpp) and the start-up installs every list into the table
** before anything binds.  A provision names a catalogue row and the
** function that serves it, taken with its real C type from the module's
** header, so no function is ever declared with a type it does not have.
**
** A name appears in at most one list; a catalogue name that no list
** provides stays bound to the placeholder.  The link tests check both.
*/
#ifndef QUENDAL_BASE_LINK_PROVISION_H
#define QUENDAL_BASE_LINK_PROVISION_H

#include <span>

namespace quendal {

struct LinkProvision {
  const char* name;  /* the catalogue name, exactly as images spell it */
  void* entry;       /* the function serving it */
};

/* The entry of a function of any C type.  Row entries are untyped
** addresses: whoever calls through a row (compiled image code, a plugin)
** knows the real signature. */
template <typename R, typename... A>
inline void* LinkEntryOf(R (*function)(A...)) {
  return reinterpret_cast<void*>(function);
}
template <typename R, typename... A>
inline void* LinkEntryOf(R (*function)(A..., ...)) {
  return reinterpret_cast<void*>(function);
}

using LinkProvisions = std::span<const LinkProvision>;

} // namespace quendal

/* A provision whose link name is the function's own C name, and one that
** serves a row under another name (CreateInstance is RuntimeNewObject). */
#define QUENDAL_PROVIDE(function) ::quendal::LinkProvision{#function, ::quendal::LinkEntryOf(&function)}
#define QUENDAL_PROVIDE_AS(name, function) ::quendal::LinkProvision{#name, ::quendal::LinkEntryOf(&function)}

#endif
