/*
** Call thunks in low memory.
**
** Image code lies below 2 GiB and reaches runtime services through rel32
** displacements or 32-bit absolute slots; the runtime itself may lie
** anywhere.  A thunk is a 16-byte "jmp [rip+0]; .quad target" in a low
** executable block; one thunk per target, kept for the life of the process.
**
** An unbound-import thunk loads a description of the missing function
** ("name" or "name in library") into the first argument register and jumps
** to RuntimeCallUnboundImport, so a call through an import that could not
** be bound reports that function instead of running link offsets; one such
** thunk per description.
*/
#ifndef QUENDAL_IMAGE_CALL_THUNKS_H
#define QUENDAL_IMAGE_CALL_THUNKS_H

#include <string>

namespace quendal {

/* A low-memory address that jumps to target; null when no memory is left. */
void* ThunkFor(void* target);

/* A low-memory address that reports `description` as a missing function. */
void* UnboundImportThunk(const std::string& description);

} // namespace quendal

extern "C" int64_t RuntimeCallUnboundImport(const char* description);

#endif
