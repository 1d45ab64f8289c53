/*
** Share modes of file handles.  See file_sharing.h.
*/
#include "runtime/platform/file_sharing.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "runtime/platform/files.h"

namespace quendal::platform::sharing {

namespace {

struct Admitted {
  dev_t device;
  ino_t inode;
  bool reads;
  bool writes;
  DWORD share;
};

std::mutex gMutex;
std::unordered_map<int, Admitted>& Table() {
  static auto* table = new std::unordered_map<int, Admitted>();
  return *table;
}

bool Reads(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA); }

bool Writes(DWORD access) {
  return access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
}

bool Compatible(const Admitted& a, const Admitted& b) {
  return !(a.reads && !(b.share & FILE_SHARE_READ)) && !(a.writes && !(b.share & FILE_SHARE_WRITE)) &&
         !(b.reads && !(a.share & FILE_SHARE_READ)) && !(b.writes && !(a.share & FILE_SHARE_WRITE));
}

/* ---- markers between processes ------------------------------------------- */

enum Marker : int64_t { kHasRead = 0, kHasWrite = 1, kDeniesRead = 2, kDeniesWrite = 3 };
constexpr int64_t kMarkerBase = INT64_MAX - 16;

struct flock MarkerLock(Marker marker, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = off_t(kMarkerBase + marker);
  lock.l_len = 1;
  return lock;
}

enum class Probe { kFree, kTaken, kUnsupported };

/* Whether another open file description holds the marker. */
Probe ProbeMarker(int fd, Marker marker) {
  struct flock lock = MarkerLock(marker, F_WRLCK);
  if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return Probe::kUnsupported;
  return lock.l_type == F_UNLCK ? Probe::kFree : Probe::kTaken;
}

/* Tests the other processes' markers against the new handle and takes
** its own; false on a conflict. */
bool AdmitBetweenProcesses(int fd, const Admitted& self) {
  Marker conflicts[4];
  int count = 0;
  if (self.reads) conflicts[count++] = kDeniesRead;
  if (self.writes) conflicts[count++] = kDeniesWrite;
  if (!(self.share & FILE_SHARE_READ)) conflicts[count++] = kHasRead;
  if (!(self.share & FILE_SHARE_WRITE)) conflicts[count++] = kHasWrite;
  for (int i = 0; i < count; i++) {
    Probe probe = ProbeMarker(fd, conflicts[i]);
    if (probe == Probe::kUnsupported) return true; /* no locks here: nothing to see */
    if (probe == Probe::kTaken) return false;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags == -1 || (flags & O_ACCMODE) == O_WRONLY) return true; /* cannot announce itself */
  auto take = [fd](Marker marker) {
    struct flock lock = MarkerLock(marker, F_RDLCK);
    while (fcntl(fd, F_OFD_SETLK, &lock) != 0 && errno == EINTR) {
    }
  };
  if (self.reads) take(kHasRead);
  if (self.writes) take(kHasWrite);
  if (!(self.share & FILE_SHARE_READ)) take(kDeniesRead);
  if (!(self.share & FILE_SHARE_WRITE)) take(kDeniesWrite);
  return true;
}

} // namespace

DWORD Admit(int fd, DWORD access, DWORD share) {
  struct stat st;
  if (fstat(fd, &st) != 0) return ERROR_SUCCESS; /* the caller's next call reports it */
  Admitted self{st.st_dev, st.st_ino, Reads(access), Writes(access), share};
  if (!self.reads && !self.writes) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> hold(gMutex);
  auto& table = Table();
  /* A descriptor still listed was closed behind the table's back and
  ** reused by this open: its entry is stale. */
  table.erase(fd);
  for (const auto& [otherFd, other] : table) {
    if (other.device == self.device && other.inode == self.inode && !Compatible(other, self)) {
      return ERROR_SHARING_VIOLATION;
    }
  }
  if (!AdmitBetweenProcesses(fd, self)) return ERROR_SHARING_VIOLATION;
  table.emplace(fd, self);
  return ERROR_SUCCESS;
}

void Forget(int fd) {
  std::lock_guard<std::mutex> hold(gMutex);
  Table().erase(fd);
}

bool MayDelete(const struct stat& st) {
  std::lock_guard<std::mutex> hold(gMutex);
  for (const auto& [fd, entry] : Table()) {
    if (entry.device == st.st_dev && entry.inode == st.st_ino && !(entry.share & FILE_SHARE_DELETE)) return false;
  }
  return true;
}

} // namespace quendal::platform::sharing
