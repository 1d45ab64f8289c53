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
** The import segment is a stream of one-byte opcodes read from its first
** byte to its end:
**   1  byte mode, u32 chain head, byte n, n name bytes, zero byte:
**      bind the chain to the runtime service of that name (mode 1: rel32
**      displacements, any other mode: absolute addresses)
**   2  u32 code offset: add the data address to the u32 there
**   3  u32 code offset: add the code address to the u32 there
**   4  u32 chain head, byte n, procedure name, zero, byte m, library name,
**      zero: bind the chain (rel32) to a function of a system library
**   5  u32 code offset: as 2, then point the string constant it named at
**      its own byte 20 unless its data word is already set
**   other values: skipped, one byte.
** A chain runs through the call operands themselves: each holds the code
** offset of the next operand of the chain; 0 ends it; head 0 is empty.
** Names that are not exported, and library functions that cannot be
** resolved, are reported and bound to a thunk that reports the missing
** function when called; targets beyond rel32 reach, or above 2 GiB for an
** absolute slot, are reached through a thunk in low memory
** (call_thunks.h).
**
** Loaded segments live until the process ends.  Code, data and call thunks
** lie below 2 GiB, so the image's 32-bit absolute addresses hold.
**
** Failure reports name "loaderX86.cpp", the file that holds all of this.
*/
#ifndef QUENDAL_IMAGE_LOADERX86_H
#define QUENDAL_IMAGE_LOADERX86_H

#include <cstddef>
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

/* What LoadAndRunImage found. */
enum class LoadOutcome {
  Ran,        /* the program ran, whatever it did */
  NoProgram,  /* no carrier and not one development file: nothing to run */
  NotLoaded,  /* a program was found but not loaded (reported); nothing ran */
};

/* Test seam: gives back what InstallImage placed (code, data, symbols,
** resources, option string, resource table), so one process can install
** image after image. */
void UnloadImageForTesting();

/* Loads and runs the image once; returns after the entry routine and the
** exit cleanup. */
LoadOutcome LoadAndRunImage();

/* Calls the image's entry routine at code offset 0 / a native program's
** entry, each through the path that turns an escaping exception into the
** unhandled-exception path exactly once (entry_calls.cpp). */
void CallImageEntryRoutine(uint8_t* code);
void CallNativeEntry(uint32_t (*entry)());

/* Image symbol look-up: the routine containing a code address (see
** runtime/objects/image_code.h, where the loader installs it). */
ImageSymbol ImageSymbolLookup(uintptr_t address);

/* Loaded-image accessors. */
uint8_t* ImageCodeAddress();
uint32_t ImageCodeLength();
uint8_t* ImageDataAddress();
ORVAstring ImageOptionString();   /* borrowed; null when none */

/* Test seams: the opcode-4 library cache. */
void ClearLibraryCacheForTesting();
size_t LibraryCacheSizeForTesting();

} // namespace quendal

#endif
