/*
** Binding an image's imports and relocating its code.
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
**
** Targets beyond rel32 reach, or above 2 GiB for an absolute slot, are
** reached through a thunk in low memory (call_thunks.h).
*/
#ifndef QUENDAL_IMAGE_IMAGE_BINDING_H
#define QUENDAL_IMAGE_IMAGE_BINDING_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quendal {

/* One pass over the import segment.  False (after a failure report) when
** the segment is damaged (a record or a chain link outside its segment);
** the image must then not run.  Names that are not exported are reported
** and bound to a thunk that reports the missing function when called. */
bool BindImageImports(uint8_t* code, uint32_t codeLength, uint8_t* data, uint32_t dataLength,
                      const std::vector<uint8_t>& imports);

/* Calls the image's entry routine at code offset 0 / a native program's
** entry, each through the path that turns an escaping exception into the
** unhandled-exception path exactly once. */
void CallImageEntryRoutine(uint8_t* code);
void CallNativeEntry(uint32_t (*entry)());

/* Test seams: the opcode-4 library cache. */
void ClearLibraryCacheForTesting();
size_t LibraryCacheSizeForTesting();

} // namespace quendal

#endif
