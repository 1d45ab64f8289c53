/*
** Share modes of file handles: which handles may be open on one file at
** the same time.  Internal to the platform's file services.
**
** A handle with data access (read, write or both) is admitted only when
** it is compatible with every handle already open on the same file
** (device and inode): its access must be allowed by each one's share
** mode, and its share mode must allow each one's access.  A handle
** without data access (attributes only) is never checked and never
** blocks, as on Win32.
**
** Within this process the check is exact: a table of the admitted
** handles, keyed by descriptor, under one mutex.  Between processes it
** uses open-file-description locks (F_OFD_*) of one byte each, far beyond
** any real data, that a readable handle holds as markers: "has read
** access", "has write access", "denies read", "denies write".  A new
** handle first tests the markers that would conflict with it and then
** takes its own.  Markers are advisory: only programs that look at them
** (this runtime) are held back; a write-only handle cannot take them (a
** read lock needs a readable descriptor) and so is seen only inside this
** process; on a file system without such locks the check is skipped.
** Test and take are two steps, so two processes opening the same file at
** the same instant may both get in.
**
** A file with an admitted handle that does not share deletion cannot be
** deleted or moved away by this process (ERROR_SHARING_VIOLATION).
*/
#ifndef QUENDAL_PLATFORM_FILE_SHARING_H
#define QUENDAL_PLATFORM_FILE_SHARING_H

#include <sys/stat.h>

#include "runtime/platform/win32_types.h"

namespace quendal::platform::sharing {

/* Admits fd, just opened with access and share: ERROR_SUCCESS, or
** ERROR_SHARING_VIOLATION (nothing registered; the caller closes fd). */
DWORD Admit(int fd, DWORD access, DWORD share);

/* Forgets fd (it is being closed).  Unknown descriptors are ignored. */
void Forget(int fd);

/* False when a handle open on the file of st does not share deletion. */
bool MayDelete(const struct stat& st);

} // namespace quendal::platform::sharing

#endif
