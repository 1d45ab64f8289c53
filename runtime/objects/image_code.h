/*
** What the object layer knows of the loaded app image: where its code
** lies and which routine an address belongs to.
**
** The exception dispatch scans only image code for handler records, the
** stack of an exception and a delegate's target name routines by their
** image symbols.  The image itself is the loader's business (a layer
** above this one), so the loader installs this view each time it has
** placed an image; before that no address is image code and no symbol is
** known.
**
** Symbol names are views into the loaded symbol segment, which lives until
** the process ends (or until a test installs another image).  Looking a
** symbol up never allocates and never throws: the dispatch calls it while
** an exception is in flight.
*/
#ifndef QUENDAL_OBJECTS_IMAGE_CODE_H
#define QUENDAL_OBJECTS_IMAGE_CODE_H

#include <cstdint>
#include <string_view>

namespace quendal {

/* The routine that contains a code address.  found is false outside the
** code or without a symbol table; an address before the first routine is
** found with an empty name and the code length as its offset. */
struct ImageSymbol {
  bool found;
  std::string_view name;
  int32_t offset;
};

struct ImageCodeView {
  const uint8_t* code;  /* null: no image */
  uint32_t length;
  ImageSymbol (*symbolAt)(uintptr_t address) noexcept;  /* null: no symbol table */
};

/* Installs the view of the loaded image (copied). */
void InstallImageCode(const ImageCodeView& view);

/* The symbol of an address in the installed image; {false, "", 0} when
** none. */
ImageSymbol ImageSymbolAt(uintptr_t address) noexcept;

} // namespace quendal

#endif
