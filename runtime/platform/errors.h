/*
** Last-error state of the platform layer: one value per thread, as on
** Win32, set by every platform call that fails (and by some that succeed,
** where Win32 does so).  POSIX errno values map to Win32 codes here.
*/
#ifndef QUENDAL_PLATFORM_ERRORS_H
#define QUENDAL_PLATFORM_ERRORS_H

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

DWORD GetLastError();
void SetLastError(DWORD code);

/* Win32 code for a POSIX errno value (ERROR_INVALID_FUNCTION when unknown). */
DWORD Win32ErrorFromErrno(int err);

/* Win32 code for errno err from an operation on the POSIX path posixPath.
** Differs from Win32ErrorFromErrno only for ENOENT: when the folder that
** should hold the last component does not exist (or is not a folder), the
** code is ERROR_PATH_NOT_FOUND, as Win32 reports a missing folder;
** otherwise ERROR_FILE_NOT_FOUND. */
DWORD Win32ErrorFromErrnoForPath(int err, const char* posixPath);

/* SetLastError(Win32ErrorFromErrno(errno)), for the common failure path. */
void SetLastErrorFromErrno();

} // namespace quendal::platform

#endif
