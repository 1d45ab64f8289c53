/*
** The loader: finds the app image, reads its six segments, binds the
** imports against the link table, relocates, hands the resources to the
** resource table, keeps the option string, calls the entry routine and
** finally empties the exit-cleanup list.
**
** Carriers, tried in this order:
**   1. the executable's "LOADER" resource (segments without the magic);
**   2. the image appended to the executable, located by the "PICKLE"
**      record;
**   3. a program linked into the executable (LinkedProgram below): a native
**      entry routine and a resource segment of its own;
**   4. only when none of these exists, the development files "code.dat",
**      "data.dat", "import.dat", "symbols.dat", "rsrc.dat", "options.dat"
**      of the working directory.
** An executable that carries a program never reads development files, so
** a stray "code.dat" in the working folder cannot take the program over.
**
** Loaded segments live until the process ends.  Code, data and call thunks
** lie below 2 GiB, so the image's 32-bit absolute addresses hold.
*/
#ifndef QUENDAL_IMAGE_LOADER_H
#define QUENDAL_IMAGE_LOADER_H

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/objects/image_code.h"
#include "runtime/text/string_record.h"

namespace quendal {

/* A native program linked into the executable takes the loader's third
** route: define a LinkedProgram and register it with QUENDAL_LINKED_PROGRAM
** (one per executable). */
struct LinkedProgram {
  uint32_t (*entry)();             /* called as the image's entry routine */
  const uint8_t* resourceSegment;  /* resource records, may be null */
  uint32_t resourceLength;
};
void SetLinkedProgram(const LinkedProgram* program);

/* The six segments of an image as read from a carrier. */
struct ImageSegments {
  std::vector<uint8_t> code, data, imports, symbols, resources, options;
  uint32_t resourceFileOffset = 0;  /* of the resource bytes in the executable, or 0 */
};

/* The six segments as the "LOADER" resource holds them: each a u32
** length and its bytes.  False when a length runs past the end of bytes
** or is longer than a segment may be (reported). */
bool ReadImageSegments(const uint8_t* bytes, size_t n, ImageSegments& segments);

/* Places, binds and relocates the segments, fills the resource table and
** keeps the option string; does not call the entry routine.  False (after
** a failure report) when the image must not run.  Used by LoadAndRunImage
** and by tests. */
bool InstallImage(const ImageSegments& segments);

/* Test seam: gives back what InstallImage placed (code, data, symbols,
** resources, option string, resource table), so one process can install
** image after image. */
void UnloadImageForTesting();

/* Loads and runs the image once; returns after the entry routine and the
** exit cleanup. */
void LoadAndRunImage();

/* Image symbol look-up: the routine containing a code address (see
** runtime/objects/image_code.h, where the loader installs it). */
ImageSymbol ImageSymbolLookup(uintptr_t address);

/* Loaded-image accessors. */
uint8_t* ImageCodeAddress();
uint32_t ImageCodeLength();
uint8_t* ImageDataAddress();
ORVAstring ImageOptionString();   /* borrowed; null when none */

} // namespace quendal

#endif
