/*
** Win32-shaped types and constants for the platform layer.
**
** The runtime was written against Win32; this host is Linux.  The platform
** layer offers the Win32 services the runtime calls, under their Win32
** names inside namespace quendal::platform, with these types.  Wide text is
** UTF-16 (char16_t), as on Windows; wchar_t is never used.
*/
#ifndef QUENDAL_PLATFORM_WIN32_TYPES_H
#define QUENDAL_PLATFORM_WIN32_TYPES_H

#include <cstdint>

namespace quendal::platform {

using BOOL = int32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using LONG = int32_t;
using UINT = uint32_t;
using LANGID = uint16_t;
using WCHAR = char16_t;
using HANDLE = void*;
using HMODULE = void*;
using HRSRC = void*;
using HGLOBAL = void*;
using FARPROC = void (*)();

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t(0));

/* Win32 error codes used by the runtime (GetLastError values). */
enum : DWORD {
  ERROR_SUCCESS = 0,
  ERROR_INVALID_FUNCTION = 1,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_TOO_MANY_OPEN_FILES = 4,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_INVALID_DRIVE = 15,
  ERROR_NOT_SAME_DEVICE = 17,
  ERROR_NO_MORE_FILES = 18,
  ERROR_WRITE_PROTECT = 19,
  ERROR_NOT_READY = 21,
  ERROR_GEN_FAILURE = 31,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_LOCK_VIOLATION = 33,
  ERROR_HANDLE_EOF = 38,
  ERROR_NOT_SUPPORTED = 50,
  ERROR_BAD_NETPATH = 53,
  ERROR_FILE_EXISTS = 80,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_BROKEN_PIPE = 109,
  ERROR_DISK_FULL = 112,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_INVALID_NAME = 123,
  ERROR_MOD_NOT_FOUND = 126,
  ERROR_PROC_NOT_FOUND = 127,
  ERROR_NEGATIVE_SEEK = 131,
  ERROR_SEEK_ON_DEVICE = 132,
  ERROR_DIR_NOT_EMPTY = 145,
  ERROR_BAD_PATHNAME = 161,
  ERROR_BUSY = 170,
  ERROR_ALREADY_EXISTS = 183,
  ERROR_BAD_EXE_FORMAT = 193,
  ERROR_FILENAME_EXCED_RANGE = 206,
  ERROR_FILE_TOO_LARGE = 223,
  ERROR_DIRECTORY = 267,
  ERROR_NOACCESS = 998,
  ERROR_RESOURCE_DATA_NOT_FOUND = 1812,
  ERROR_RESOURCE_TYPE_NOT_FOUND = 1813,
  ERROR_RESOURCE_NAME_NOT_FOUND = 1814,
  ERROR_CANT_RESOLVE_FILENAME = 1921,
  ERROR_NOT_A_REPARSE_POINT = 4390,
};

/* Error codes of the national-language services (runtime/platform/nls.h). */
enum : DWORD {
  ERROR_INVALID_FLAGS = 1004,
  ERROR_NO_UNICODE_TRANSLATION = 1113,
};

} // namespace quendal::platform

#endif
