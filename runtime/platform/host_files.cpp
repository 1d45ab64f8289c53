/*
** Shortcuts, permissions and owners over POSIX.  See host_files.h.
*/
#include "runtime/platform/host_files.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "runtime/platform/errors.h"
#include "runtime/platform/files_internal.h"
#include "runtime/platform/paths.h"

namespace quendal::platform {

namespace {

std::optional<std::string> ReadLinkText(const std::string& posixPath) {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = readlink(posixPath.c_str(), buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (size_t(n) < buffer.size()) return std::string(buffer.data(), size_t(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string FolderOf(const std::string& posixPath) {
  size_t slash = posixPath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : posixPath.substr(0, slash);
}

/* The numeric id of a user or group name (or of a number). */
bool IdOfName(const std::string& name, bool group, unsigned* id) {
  if (name.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long number = strtoul(name.c_str(), &end, 10);
  if (*end == '\0' && errno == 0 && number <= 0xFFFFFFFFul) {
    *id = unsigned(number);
    return true;
  }
  std::vector<char> buffer(16384);
  if (group) {
    struct group entry, *found = nullptr;
    if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
    *id = found->gr_gid;
  } else {
    struct passwd entry, *found = nullptr;
    if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
    *id = found->pw_uid;
  }
  return true;
}

std::string NameOfId(unsigned id, bool group) {
  std::vector<char> buffer(16384);
  if (group) {
    struct group entry, *found = nullptr;
    if (getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
  } else {
    struct passwd entry, *found = nullptr;
    if (getpwuid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
  }
  return std::to_string(id);
}

bool StatOrFail(const std::string& windowsPath, std::string* posix, struct stat* st) {
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return false;
  *posix = *path;
  if (stat(path->c_str(), st) != 0) {
    SetLastError(Win32ErrorFromErrnoForPath(errno, path->c_str()));
    return false;
  }
  return true;
}

} // namespace

bool GetShortcutTarget(const std::string& windowsPath, std::string* target) {
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return false;
  std::string current = *path;
  struct stat st;
  if (lstat(current.c_str(), &st) != 0) {
    SetLastError(Win32ErrorFromErrnoForPath(errno, current.c_str()));
    return false;
  }
  if (!S_ISLNK(st.st_mode)) {
    SetLastError(ERROR_NOT_A_REPARSE_POINT);
    return false;
  }
  for (int hop = 0; hop < 40; hop++) {
    std::optional<std::string> text = ReadLinkText(current);
    if (!text) {
      SetLastErrorFromErrno();
      return false;
    }
    if (text->empty() || (*text)[0] != '/') {
      std::string folder = FolderOf(current);
      *text = (folder == "/" ? "/" : folder + "/") + *text;
    }
    current = *text;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = WindowsPathFromPosix(current);
      return true;
    }
  }
  SetLastError(ERROR_CANT_RESOLVE_FILENAME);
  return false;
}

bool GetFilePermissions(const std::string& windowsPath, DWORD* mode) {
  std::string posix;
  struct stat st;
  if (!StatOrFail(windowsPath, &posix, &st)) return false;
  *mode = DWORD(st.st_mode & 07777);
  return true;
}

bool SetFilePermissions(const std::string& windowsPath, DWORD mode) {
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return false;
  if (chmod(path->c_str(), mode_t(mode & 07777)) != 0) {
    SetLastError(Win32ErrorFromErrnoForPath(errno, path->c_str()));
    return false;
  }
  return true;
}

bool GetFileOwner(const std::string& windowsPath, bool group, std::string* name) {
  std::string posix;
  struct stat st;
  if (!StatOrFail(windowsPath, &posix, &st)) return false;
  *name = NameOfId(group ? unsigned(st.st_gid) : unsigned(st.st_uid), group);
  return true;
}

bool SetFileOwner(const std::string& windowsPath, bool group, const std::string& name) {
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return false;
  unsigned id = 0;
  if (!IdOfName(name, group, &id)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  uid_t owner = group ? uid_t(-1) : uid_t(id);
  gid_t groupId = group ? gid_t(id) : gid_t(-1);
  if (chown(path->c_str(), owner, groupId) != 0) {
    SetLastError(Win32ErrorFromErrnoForPath(errno, path->c_str()));
    return false;
  }
  return true;
}

} // namespace quendal::platform
