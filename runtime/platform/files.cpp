/*
** Win32 file handles over POSIX descriptors: opening, reading, writing,
** positions, sizes and times.  Names, folders and searches live in
** file_names.cpp; share modes in file_sharing.cpp.
**
** Handle encoding: HANDLE = (void*)(fd + 1).  No state lives beside the
** descriptor, so a handle needs no allocation, a stale or forged handle
** can only name a closed or foreign descriptor (the kernel then answers
** EBADF, reported as ERROR_INVALID_HANDLE) and never a freed object, and
** the standard streams are handles 1, 2 and 3.  FILE_FLAG_WRITE_THROUGH
** therefore maps to O_SYNC at open time rather than to an fsync at close.
**
** Win32 semantics kept here, beyond the plain call mapping:
**  - a folder opened as a file fails with ERROR_ACCESS_DENIED (unless
**    FILE_FLAG_BACKUP_SEMANTICS asks for it, for its times);
**  - CREATE_ALWAYS and TRUNCATE_EXISTING truncate only after the share
**    check has admitted the handle, so a refused open changes nothing;
**  - ReadFile fills the buffer from a regular file unless it meets the
**    end (EOF is success with fewer or 0 bytes); from a pipe or terminal
**    it returns what one read gives, as Win32 does;
**  - WriteFile writes everything or fails;
**  - reading a write-only handle (or writing a read-only one) is
**    ERROR_ACCESS_DENIED, not ERROR_INVALID_HANDLE;
**  - a seek before the start fails with ERROR_NEGATIVE_SEEK and leaves the
**    position where it was.
*/
#include "runtime/platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>
#include <string>

#include "runtime/platform/errors.h"
#include "runtime/platform/file_sharing.h"
#include "runtime/platform/files_internal.h"
#include "runtime/platform/paths.h"

namespace quendal::platform {

int DescriptorFromHandle(HANDLE file) {
  uintptr_t value = reinterpret_cast<uintptr_t>(file);
  if (value == 0 || value - 1 > uintptr_t(INT_MAX)) return -1;
  return int(value - 1);
}

HANDLE HandleFromDescriptor(int fd) {
  if (fd < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(uintptr_t(fd) + 1);
}

std::optional<std::string> PosixPathOrFail(const std::string& windowsPath) {
  std::optional<std::string> posix = PosixPathFromWindows(windowsPath);
  if (!posix || posix->empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  return posix;
}

std::string Utf8FromTerminatedUtf16(const WCHAR* text) {
  return Utf8FromUtf16(text, std::char_traits<WCHAR>::length(text));
}

/* ---- CreateFile --------------------------------------------------------- */

static bool WantsRead(DWORD access) {
  return access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA);
}

static bool WantsWrite(DWORD access) {
  return access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
}

/* FILE_APPEND_DATA without any other write right: every write lands at
** the end. */
static bool AppendsOnly(DWORD access) {
  return (access & FILE_APPEND_DATA) && !(access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA));
}

static int OpenFlagsForAccess(DWORD access) {
  bool read = WantsRead(access), write = WantsWrite(access);
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  if (AppendsOnly(access)) flags |= O_APPEND;
  return flags;
}

/* Opens path as the disposition asks.  existed tells whether the file was
** there before (for ERROR_ALREADY_EXISTS and for the truncation, which the
** caller does once the share check has passed).  Between the two steps of
** OPEN_ALWAYS and CREATE_ALWAYS another process may create or delete the
** file, so they retry a few times before giving up with the last errno. */
static int OpenWithDisposition(const char* path, int flags, DWORD disposition, mode_t mode,
                               bool* existed) {
  enum { kRaceRetries = 8 };
  int fd = -1;
  switch (disposition) {
    case CREATE_NEW:
      *existed = false;
      return open(path, flags | O_CREAT | O_EXCL, mode);
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
      *existed = true;
      return open(path, flags);
    case OPEN_ALWAYS:
    case CREATE_ALWAYS:
      for (int attempt = 0; attempt < kRaceRetries; attempt++) {
        fd = open(path, flags);
        if (fd >= 0 || errno != ENOENT) return *existed = true, fd;
        fd = open(path, flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0 || errno != EEXIST) return *existed = false, fd;
      }
      return fd;
    default:
      errno = EINVAL;
      return -1;
  }
}

static bool TruncatesOnOpen(DWORD disposition) {
  return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

/* ERROR_SUCCESS when the freshly opened fd may be handed out: a regular
** file (or a folder when asked for), admitted by the share check, and
** truncated when the disposition says so. */
static DWORD AcceptOpened(int fd, DWORD access, DWORD share, DWORD disposition, DWORD flags, bool existed) {
  struct stat st;
  if (fstat(fd, &st) != 0) return Win32ErrorFromErrno(errno);
  if (S_ISDIR(st.st_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) return ERROR_ACCESS_DENIED;
  DWORD shared = sharing::Admit(fd, access, share);
  if (shared != ERROR_SUCCESS) return shared;
  if (existed && TruncatesOnOpen(disposition) && S_ISREG(st.st_mode) && st.st_size != 0) {
    int rc;
    do rc = ftruncate(fd, 0); while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      DWORD error = Win32ErrorFromErrno(errno);
      sharing::Forget(fd);
      return error;
    }
  }
  return ERROR_SUCCESS;
}

static HANDLE CreateFileAtPath(const std::string& windowsPath, DWORD access, DWORD share, DWORD disposition,
                               DWORD flags) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !WantsWrite(access))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return INVALID_HANDLE_VALUE;

  /* Opening never waits: a FIFO without a writer (or a device that would
  ** block) opens at once, as every file does on Win32; the handle then
  ** reads and writes blocking as usual. */
  int openFlags = OpenFlagsForAccess(access) | O_CLOEXEC | O_NONBLOCK;
  if (flags & FILE_FLAG_WRITE_THROUGH) openFlags |= O_SYNC;
  mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  bool existed = false;
  int fd;
  do {
    fd = OpenWithDisposition(path->c_str(), openFlags, disposition, mode, &existed);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    /* A folder opened for writing is EISDIR: ERROR_ACCESS_DENIED. */
    SetLastError(Win32ErrorFromErrnoForPath(errno, path->c_str()));
    return INVALID_HANDLE_VALUE;
  }
  DWORD error = AcceptOpened(fd, access, share, disposition, flags, existed);
  if (error == ERROR_SUCCESS && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    error = Win32ErrorFromErrno(errno);
  }
  if (error != ERROR_SUCCESS) {
    close(fd);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  bool reportsExisting = disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS;
  SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return HandleFromDescriptor(fd);
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileAtPath(path, access, share, disposition, flags);
}

HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void* /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileAtPath(Utf8FromTerminatedUtf16(path), access, share, disposition, flags);
}

/* ---- reading and writing ------------------------------------------------ */

/* Descriptor of a handle, or -1 with ERROR_INVALID_HANDLE set. */
static int DescriptorOrFail(HANDLE file) {
  int fd = DescriptorFromHandle(file);
  if (fd < 0) SetLastError(ERROR_INVALID_HANDLE);
  return fd;
}

/* Sets the last error for a failed call on fd.  EBADF on a descriptor
** that is open means it lacks the access asked for (reading a write-only
** handle), which Win32 calls ERROR_ACCESS_DENIED. */
static void SetLastErrorForDescriptor(int fd, int err) {
  if (err == EBADF && fcntl(fd, F_GETFL) != -1) {
    SetLastError(ERROR_ACCESS_DENIED);
    return;
  }
  SetLastError(Win32ErrorFromErrno(err));
}

static bool IsRegularFile(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

static bool IsWritable(int fd) {
  int flags = fcntl(fd, F_GETFL);
  return flags != -1 && (flags & O_ACCMODE) != O_RDONLY;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  if (read) *read = 0;
  int fd = DescriptorOrFail(file);
  if (fd < 0) return 0;
  if (overlapped != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  if (buffer == nullptr && toRead > 0) {
    SetLastError(ERROR_NOACCESS);
    return 0;
  }
  char* bytes = static_cast<char*>(buffer);
  DWORD total = 0;
  std::optional<bool> regular;
  while (total < toRead) {
    ssize_t n = ::read(fd, bytes + total, toRead - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastErrorForDescriptor(fd, errno);
      if (read) *read = total;
      return 0;
    }
    if (n == 0) break;
    total += DWORD(n);
    if (total < toRead) {
      if (!regular) regular = IsRegularFile(fd);
      if (!*regular) break;
    }
  }
  if (read) *read = total;
  return 1;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  if (written) *written = 0;
  int fd = DescriptorOrFail(file);
  if (fd < 0) return 0;
  if (overlapped != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  if (buffer == nullptr && toWrite > 0) {
    SetLastError(ERROR_NOACCESS);
    return 0;
  }
  const char* bytes = static_cast<const char*>(buffer);
  DWORD total = 0;
  while (total < toWrite) {
    ssize_t n = ::write(fd, bytes + total, toWrite - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastErrorForDescriptor(fd, errno);
      if (written) *written = total;
      return 0;
    }
    if (n == 0) { /* no progress and no errno: the device takes no more */
      SetLastError(ERROR_DISK_FULL);
      if (written) *written = total;
      return 0;
    }
    total += DWORD(n);
  }
  if (written) *written = total;
  return 1;
}

/* ---- position and size -------------------------------------------------- */

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  int fd = DescriptorOrFail(file);
  if (fd < 0) return INVALID_SET_FILE_POINTER;
  /* Without distanceHigh the distance is a signed 32-bit value. */
  int64_t move = distanceHigh ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance))
                              : int64_t(distance);
  int64_t base;
  if (method == FILE_BEGIN) {
    base = 0;
  } else if (method == FILE_CURRENT) {
    base = lseek(fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    struct stat st;
    base = fstat(fd, &st) == 0 ? int64_t(st.st_size) : -1;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastErrorForDescriptor(fd, errno);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target;
  if (__builtin_add_overflow(base, move, &target)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  /* A position that the 32-bit result cannot carry needs distanceHigh. */
  if (distanceHigh == nullptr && target > int64_t(UINT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  off_t now = lseek(fd, off_t(target), SEEK_SET);
  if (now < 0) {
    SetLastErrorForDescriptor(fd, errno);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = LONG(uint64_t(now) >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(uint64_t(now));
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  int fd = DescriptorOrFail(file);
  if (fd < 0) return INVALID_FILE_SIZE;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    SetLastErrorFromErrno();
    return INVALID_FILE_SIZE;
  }
  uint64_t size = uint64_t(st.st_size);
  if (sizeHigh) *sizeHigh = DWORD(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(size);
}

DWORD GetFileType(HANDLE file) {
  int fd = DescriptorOrFail(file);
  if (fd < 0) return FILE_TYPE_UNKNOWN;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    SetLastErrorFromErrno();
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

BOOL SetEndOfFile(HANDLE file) {
  int fd = DescriptorOrFail(file);
  if (fd < 0) return 0;
  if (fcntl(fd, F_GETFL) == -1) {
    SetLastErrorFromErrno();
    return 0;
  }
  if (!IsWritable(fd)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  off_t position = lseek(fd, 0, SEEK_CUR);
  if (position < 0) {
    SetLastErrorFromErrno();
    return 0;
  }
  int rc;
  do rc = ftruncate(fd, position); while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    SetLastErrorForDescriptor(fd, errno);
    return 0;
  }
  return 1;
}

BOOL FlushFileBuffers(HANDLE file) {
  int fd = DescriptorOrFail(file);
  if (fd < 0) return 0;
  if (fsync(fd) != 0) {
    SetLastErrorFromErrno();
    return 0;
  }
  return 1;
}

BOOL CloseHandle(HANDLE handle) {
  int fd = DescriptorOrFail(handle);
  if (fd < 0) return 0;
  if (fcntl(fd, F_GETFD) == -1) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  sharing::Forget(fd);
  /* On Linux the descriptor is released even when close reports EINTR, so
  ** retrying could close a descriptor that another thread just opened. */
  if (close(fd) != 0 && errno != EINTR) {
    SetLastErrorFromErrno();
    return 0;
  }
  return 1;
}

/* ---- times ------------------------------------------------------------ */

static FILETIME FileTimeOfTimespec(const struct timespec& t) {
  int64_t units = int64_t(kFileTimeOfUnixEpoch) + int64_t(t.tv_sec) * int64_t(kFileTimeUnitsPerSecond) +
                  t.tv_nsec / 100;
  return FileTimeFromValue(units < 0 ? 0 : uint64_t(units));
}

static struct timespec TimespecOfFileTime(const FILETIME& t) {
  int64_t units = int64_t(FileTimeValue(t)) - int64_t(kFileTimeOfUnixEpoch);
  int64_t seconds = units / int64_t(kFileTimeUnitsPerSecond);
  int64_t rest = units % int64_t(kFileTimeUnitsPerSecond);
  if (rest < 0) rest += kFileTimeUnitsPerSecond, seconds--;
  struct timespec out {};
  out.tv_sec = time_t(seconds);
  out.tv_nsec = long(rest * 100);
  return out;
}

FileTimes FileTimesOfStat(const struct stat& st, const struct timespec* birth) {
  return FileTimes{FileTimeOfTimespec(birth ? *birth : st.st_mtim), FileTimeOfTimespec(st.st_atim),
                   FileTimeOfTimespec(st.st_mtim)};
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write) {
  int fd = DescriptorOrFail(file);
  if (fd < 0) return 0;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    SetLastErrorFromErrno();
    return 0;
  }
  struct statx sx {};
  bool born = statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME);
  struct timespec birth {};
  birth.tv_sec = time_t(sx.stx_btime.tv_sec);
  birth.tv_nsec = long(sx.stx_btime.tv_nsec);
  FileTimes times = FileTimesOfStat(st, born ? &birth : nullptr);
  if (creation) *creation = times.creation;
  if (access) *access = times.access;
  if (write) *write = times.write;
  return 1;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write) {
  int fd = DescriptorOrFail(file);
  if (fd < 0) return 0;
  if (creation != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (access) times[0] = TimespecOfFileTime(*access);
  if (write) times[1] = TimespecOfFileTime(*write);
  if (futimens(fd, times) != 0) {
    SetLastErrorFromErrno();
    return 0;
  }
  return 1;
}

} // namespace quendal::platform
