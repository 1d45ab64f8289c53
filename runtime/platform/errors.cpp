/*
** Last-error state and the errno -> Win32 code table.
**
** The last error is thread_local: a failure on one thread never shows in
** GetLastError of another, as on Win32.  The table follows what Win32
** itself reports for the same situation, not a literal reading of the
** errno name (EISDIR is ERROR_ACCESS_DENIED, as opening or deleting a
** folder as a file is on Win32).
*/
#include "runtime/platform/errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace quendal::platform {

static thread_local DWORD tLastError = ERROR_SUCCESS;

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD code) { tLastError = code; }

DWORD Win32ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ESPIPE: return ERROR_SEEK_ON_DEVICE;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EBUSY: return ERROR_BUSY;
    case EIO: return ERROR_GEN_FAILURE;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EFAULT: return ERROR_NOACCESS;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_INVALID_FUNCTION;
  }
}

/* True when the folder part of posixPath names an existing folder.  A
** path of one component lives in the current folder, which exists. */
static bool ParentFolderExists(const char* posixPath) {
  std::string path(posixPath);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return true;
  std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
  struct stat st;
  return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DWORD Win32ErrorFromErrnoForPath(int err, const char* posixPath) {
  if (err == ENOENT && posixPath != nullptr && !ParentFolderExists(posixPath)) {
    return ERROR_PATH_NOT_FOUND;
  }
  return Win32ErrorFromErrno(err);
}

void SetLastErrorFromErrno() { SetLastError(Win32ErrorFromErrno(errno)); }

} // namespace quendal::platform
