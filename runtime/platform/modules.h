/*
** Modules, libraries and resources.
**
** The executable is the module with handle GetModuleHandleA(nullptr).
** Libraries are ELF shared objects loaded with dlopen; a library name is
** matched without regard to case (a name already loaded in another case
** gives the same module; a file is found case-insensitively in the library
** folders when the exact name does not exist).
**
** Resources of the executable.  An ELF file has no resource directory, so
** the runtime keeps its own: a resource is a QuendalResource record placed
** in the linker section "quendal_rsrc" by QUENDAL_RESOURCE below; the
** linker gathers them all into one array, bounded by the symbols
** __start_quendal_rsrc and __stop_quendal_rsrc.  Every record is 32 bytes
** and 8-aligned, so the records of all object files lie back to back.
** The "PICKLE" locating record lives in a section of its own,
** ".quendal_pickle", so that the image-appending step can find and stamp
** it in the executable file (pickle_record.h).
**
** Handles: the executable's HMODULE is fixed for the life of the process
** and is never unloaded; a library's HMODULE is its dlopen handle, valid
** until FreeLibrary has been called once for every LoadLibrary that
** returned it.  HRSRC is the address of a QuendalResource record; the
** HGLOBAL of LoadResource is the resource's bytes, which live as long as
** the process (LockResource returns them; nothing needs freeing).
*/
#ifndef QUENDAL_PLATFORM_MODULES_H
#define QUENDAL_PLATFORM_MODULES_H

#include <cstdint>

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

/* Path of the module's file as a Windows path (null or the executable's
** handle: the executable).  Returns the length written without the
** terminator; when the buffer is too small, the path is cut to size - 1
** units plus a terminator, the result is size and the last error is
** ERROR_INSUFFICIENT_BUFFER.  An unknown module gives 0 and
** ERROR_MOD_NOT_FOUND. */
DWORD GetModuleFileNameW(HMODULE module, WCHAR* buffer, DWORD size);
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
/* null: the executable.  A name: a library that LoadLibrary has loaded
** under that name (ignoring ASCII case) or the executable's file name;
** no reference is added.  Otherwise null and ERROR_MOD_NOT_FOUND. */
HMODULE GetModuleHandleA(const char* name);

/* Loads a library (a bare file name, searched by the dynamic loader, or a
** POSIX or Windows path) with dlopen(RTLD_NOW | RTLD_LOCAL), or adds a
** reference to it when it is loaded already.  A name that is not found
** exactly is looked for without regard to ASCII case in its folder (for a
** path) or in the system library folders (for a bare name).  Failure:
** null and ERROR_MOD_NOT_FOUND. */
HMODULE LoadLibraryA(const char* name);
HMODULE LoadLibraryW(const WCHAR* name);
/* dlsym in the module (null: the executable); names are case-sensitive,
** ordinals do not exist.  Failure: null and ERROR_PROC_NOT_FOUND. */
FARPROC GetProcAddress(HMODULE module, const char* name);
/* Drops one LoadLibrary reference; the library is unloaded when none is
** left.  The executable's handle is accepted and never unloaded.  A
** handle that is not loaded gives FALSE and ERROR_INVALID_HANDLE. */
BOOL FreeLibrary(HMODULE module);

struct QuendalResource {
  const char* type;   /* type name, "PICKLE", "LOADER", ... */
  int32_t id;
  const void* data;
  uint32_t length;
};
static_assert(sizeof(QuendalResource) == 32 && alignof(QuendalResource) == 8,
              "records of the resource section lie back to back");

/* Resources of the executable (module null or the executable's handle).
** type is a type name, compared without regard to ASCII case; id the
** numeric id.  When several records match, the first in link order wins.
** Failure: null and ERROR_RESOURCE_TYPE_NOT_FOUND (no record of that
** type), ERROR_RESOURCE_NAME_NOT_FOUND (the type without that id) or
** ERROR_RESOURCE_DATA_NOT_FOUND (a library module: libraries carry no
** resources). */
HRSRC FindResourceA(HMODULE module, int32_t id, const char* type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
void* LockResource(HGLOBAL resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);

} // namespace quendal::platform

#define QUENDAL_RESOURCE_CAT2(a, b) a##b
#define QUENDAL_RESOURCE_CAT(a, b) QUENDAL_RESOURCE_CAT2(a, b)
/* Declares a resource of the executable: QUENDAL_RESOURCE("LOADER", 1, bytes, n). */
#define QUENDAL_RESOURCE(type_, id_, data_, length_)                                \
  __attribute__((used, section("quendal_rsrc"), aligned(8)))                         \
  static const ::quendal::platform::QuendalResource QUENDAL_RESOURCE_CAT(           \
      quendal_resource_, __COUNTER__) = {type_, id_, data_, length_}

#endif
