/*
** Plugin libraries: loading an ELF shared object from a file or straight
** from memory.
**
** From memory: the bytes must be an ELF file of class 64, little-endian,
** for x86-64, of type shared object, with its program header table inside
** the bytes; they are copied into an anonymous memory file (memfd) that
** the dynamic loader opens through /proc/self/fd.  Nothing is written to
** any file system.  A library whose dependencies cannot be found is
** refused with "Can't load library <name>" on standard error; every other
** refusal is silent.  A failed load releases everything it took (the
** memory file, the loader's handle).
**
** Handles are dynamic-loader handles, valid until ReleaseLibrary.
*/
#ifndef QUENDAL_PLUGINS_PLUGIN_LIBRARY_H
#define QUENDAL_PLUGINS_PLUGIN_LIBRARY_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quendal {

/* True when the bytes pass the checks above. */
bool IsLoadableSharedObject(const uint8_t* bytes, size_t length);

/* The library in the bytes (name is for diagnostics only), or null. */
void* LoadLibraryFromMemory(std::string_view name, const uint8_t* bytes, size_t length);

/* The library in a file (POSIX path), or null. */
void* LoadLibraryFromFile(const std::string& path);

/* An exported symbol, or null. */
void* LibrarySymbol(void* library, const char* name);

void ReleaseLibrary(void* library);

/* True when path (POSIX) names a regular file. */
bool IsExistingFile(const std::string& path);

/* The POSIX path of a file named `name` in `folder`: the exact name, else
** a file whose name equals it without regard to ASCII case (as the
** Windows file system would find it); "" when there is none. */
std::string FindFileInFolder(const std::string& folder, std::string_view name);

} // namespace quendal

#endif
