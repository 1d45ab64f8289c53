/*
** Win32 services on names: attributes, deletion, folders, renaming,
** copying, searches, the current and temporary folders and the drives.
** See files.h for the contracts.
**
** Every service turns its Windows path into a POSIX one first
** (PosixPathOrFail) and reports errno through the Win32 table, so a path
** on another drive or a UNC path fails with ERROR_PATH_NOT_FOUND without
** touching the disk.
*/
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

#include "runtime/platform/errors.h"
#include "runtime/platform/file_sharing.h"
#include "runtime/platform/files.h"
#include "runtime/platform/files_internal.h"
#include "runtime/platform/paths.h"

namespace quendal::platform {

namespace {

/* Copies text and its terminator into a caller's buffer of size units:
** the length without the terminator, or the size needed when it does not
** fit (nothing written then). */
DWORD CopyToBuffer(const std::u16string& text, WCHAR* buffer, DWORD size) {
  if (buffer == nullptr || size <= text.size()) return DWORD(text.size() + 1);
  text.copy(buffer, text.size());
  buffer[text.size()] = u'\0';
  return DWORD(text.size());
}

std::string LastComponent(const std::string& posixPath) {
  std::string path = posixPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsHiddenName(const std::string& name) { return !name.empty() && name[0] == '.' && name != "." && name != ".."; }

struct EntryInfo {
  DWORD attributes;
  uint64_t size;
  FileTimes times;
};

/* What the host knows of the entry at posixPath (a link: of its target
** when that exists).  False with errno set when there is no entry. */
bool ReadEntryInfo(const std::string& posixPath, EntryInfo* info) {
  struct stat st;
  if (lstat(posixPath.c_str(), &st) != 0) return false;
  DWORD attributes = 0;
  if (S_ISLNK(st.st_mode)) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    struct stat target;
    if (stat(posixPath.c_str(), &target) == 0) st = target;
  }
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  bool writable = (st.st_mode & 0222) != 0;
  if (writable && faccessat(AT_FDCWD, posixPath.c_str(), W_OK, AT_EACCESS) != 0 &&
      (errno == EACCES || errno == EROFS)) {
    writable = false;
  }
  if (!writable) attributes |= FILE_ATTRIBUTE_READONLY;
  if (IsHiddenName(LastComponent(posixPath))) attributes |= FILE_ATTRIBUTE_HIDDEN;
  info->attributes = attributes != 0 ? attributes : DWORD(FILE_ATTRIBUTE_NORMAL);
  info->size = S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
  struct statx sx {};
  int follow = S_ISLNK(st.st_mode) ? AT_SYMLINK_NOFOLLOW : 0; /* a dangling link: the link */
  bool born = statx(AT_FDCWD, posixPath.c_str(), follow, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME);
  struct timespec birth {};
  birth.tv_sec = time_t(sx.stx_btime.tv_sec);
  birth.tv_nsec = long(sx.stx_btime.tv_nsec);
  info->times = FileTimesOfStat(st, born ? &birth : nullptr);
  return true;
}

void SetLastErrorForPath(int err, const std::string& posixPath) {
  SetLastError(Win32ErrorFromErrnoForPath(err, posixPath.c_str()));
}

/* ---- searches --------------------------------------------------------------- */

bool FoldedEqual(char16_t a, char16_t b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
  return fold(a) == fold(b);
}

/* Wildcard match of name against pattern ("*" any run, "?" one unit). */
bool WildcardMatch(const std::u16string& pattern, const std::u16string& name) {
  if (pattern == u"*.*") return true;
  size_t p = 0, n = 0, starP = std::u16string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || FoldedEqual(pattern[p], name[n]))) {
      p++, n++;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++, starN = n;
    } else if (starP != std::u16string::npos) {
      p = starP + 1, n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') p++;
  return p == pattern.size();
}

bool HasWildcards(const std::u16string& pattern) { return pattern.find_first_of(u"*?") != std::u16string::npos; }

struct Search {
  std::string folder;      /* POSIX folder searched */
  std::u16string pattern;  /* last component of the pattern */
  DIR* dir = nullptr;      /* null for a search of one exact name */
};

std::mutex gSearchMutex;
std::unordered_set<Search*>& LiveSearches() {
  static auto* searches = new std::unordered_set<Search*>();
  return *searches;
}

Search* LiveSearch(HANDLE handle) {
  std::lock_guard<std::mutex> hold(gSearchMutex);
  auto* search = static_cast<Search*>(handle);
  return LiveSearches().count(search) ? search : nullptr;
}

bool FillFindData(const std::string& folder, const std::string& name, WIN32_FIND_DATAW* data) {
  EntryInfo info;
  if (!ReadEntryInfo(folder == "/" ? "/" + name : folder + "/" + name, &info)) return false;
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes = info.attributes;
  data->ftCreationTime = info.times.creation;
  data->ftLastAccessTime = info.times.access;
  data->ftLastWriteTime = info.times.write;
  data->nFileSizeHigh = DWORD(info.size >> 32);
  data->nFileSizeLow = DWORD(info.size);
  std::u16string wide = Utf16FromUtf8(name);
  size_t n = wide.size() < 259 ? wide.size() : 259;
  wide.copy(data->cFileName, n);
  data->cFileName[n] = u'\0';
  return true;
}

/* The next entry of a folder search that matches; false at the end. */
bool NextMatch(Search* search, WIN32_FIND_DATAW* data) {
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(search->dir);
    if (entry == nullptr) return false;
    std::string name = entry->d_name;
    /* An entry removed since it was listed is passed over. */
    if (WildcardMatch(search->pattern, Utf16FromUtf8(name)) && FillFindData(search->folder, name, data)) return true;
  }
}

void EndSearch(Search* search) {
  if (search->dir) closedir(search->dir);
  delete search;
}

} // namespace

/* ---- attributes and deletion ------------------------------------------------- */

static DWORD GetFileAttributesAtPath(const std::string& windowsPath) {
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return INVALID_FILE_ATTRIBUTES;
  EntryInfo info;
  if (!ReadEntryInfo(*path, &info)) {
    SetLastErrorForPath(errno, *path);
    return INVALID_FILE_ATTRIBUTES;
  }
  return info.attributes;
}

DWORD GetFileAttributesA(const char* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesAtPath(path);
}

DWORD GetFileAttributesW(const WCHAR* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesAtPath(Utf8FromTerminatedUtf16(path));
}

BOOL SetFileAttributesW(const WCHAR* windowsPath, DWORD attributes) {
  if (windowsPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::string> path = PosixPathOrFail(Utf8FromTerminatedUtf16(windowsPath));
  if (!path) return 0;
  struct stat st;
  if (stat(path->c_str(), &st) != 0) {
    SetLastErrorForPath(errno, *path);
    return 0;
  }
  if (bool(attributes & FILE_ATTRIBUTE_HIDDEN) != IsHiddenName(LastComponent(*path))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    mode &= ~mode_t(0222);
  } else if ((mode & 0222) == 0) {
    mode |= 0200;
  }
  if (mode != (st.st_mode & 07777) && chmod(path->c_str(), mode) != 0) {
    SetLastErrorFromErrno();
    return 0;
  }
  return 1;
}

static BOOL DeleteFileAtPath(const std::string& windowsPath) {
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return 0;
  struct stat st;
  if (lstat(path->c_str(), &st) == 0 && !sharing::MayDelete(st)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return 0;
  }
  /* unlink of a folder is EISDIR on Linux, EPERM elsewhere: both are
  ** ERROR_ACCESS_DENIED, as DeleteFile of a folder is on Win32. */
  if (unlink(path->c_str()) != 0) {
    SetLastErrorForPath(errno, *path);
    return 0;
  }
  return 1;
}

BOOL DeleteFileA(const char* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return DeleteFileAtPath(path);
}

BOOL DeleteFileW(const WCHAR* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return DeleteFileAtPath(Utf8FromTerminatedUtf16(path));
}

/* ---- folders -------------------------------------------------------------------- */

BOOL CreateDirectoryW(const WCHAR* windowsPath, void* /*security*/) {
  if (windowsPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::string> path = PosixPathOrFail(Utf8FromTerminatedUtf16(windowsPath));
  if (!path) return 0;
  if (mkdir(path->c_str(), 0777) != 0) {
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : Win32ErrorFromErrnoForPath(errno, path->c_str()));
    return 0;
  }
  return 1;
}

BOOL RemoveDirectoryW(const WCHAR* windowsPath) {
  if (windowsPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::string> path = PosixPathOrFail(Utf8FromTerminatedUtf16(windowsPath));
  if (!path) return 0;
  if (rmdir(path->c_str()) != 0) {
    int err = errno;
    struct stat st;
    if (err == ENOTDIR && lstat(path->c_str(), &st) == 0) {
      SetLastError(ERROR_DIRECTORY);
    } else {
      SetLastErrorForPath(err, *path);
    }
    return 0;
  }
  return 1;
}

/* ---- copying and moving ------------------------------------------------------------- */

/* Copies the regular file at from (Windows path) to to; the Win32 error,
** or ERROR_SUCCESS.  See CopyFileW. */
static DWORD CopyFileAtPaths(const std::string& from, const std::string& to, bool failIfExists) {
  HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return GetLastError();
  struct stat source;
  fstat(DescriptorFromHandle(in), &source);
  std::optional<std::string> target = PosixPathFromWindows(to);
  struct stat existing;
  if (!failIfExists && target && stat(target->c_str(), &existing) == 0 && existing.st_dev == source.st_dev &&
      existing.st_ino == source.st_ino) {
    CloseHandle(in);
    return ERROR_SHARING_VIOLATION;
  }
  HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, failIfExists ? CREATE_NEW : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    CloseHandle(in);
    return error;
  }
  bool created = failIfExists || GetLastError() != ERROR_ALREADY_EXISTS;
  DWORD error = ERROR_SUCCESS;
  static constexpr DWORD kChunk = 64 * 1024;
  char* buffer = static_cast<char*>(malloc(kChunk));
  if (buffer == nullptr) error = ERROR_NOT_ENOUGH_MEMORY;
  while (error == ERROR_SUCCESS) {
    DWORD got = 0, written = 0;
    if (!ReadFile(in, buffer, kChunk, &got, nullptr)) {
      error = GetLastError();
    } else if (got == 0) {
      break;
    } else if (!WriteFile(out, buffer, got, &written, nullptr)) {
      error = GetLastError();
    }
  }
  free(buffer);
  if (error == ERROR_SUCCESS) {
    int fd = DescriptorFromHandle(out);
    fchmod(fd, source.st_mode & 07777);
    struct timespec times[2] = {source.st_atim, source.st_mtim};
    futimens(fd, times);
  }
  CloseHandle(out);
  CloseHandle(in);
  if (error != ERROR_SUCCESS && created) DeleteFileA(to.c_str());
  return error;
}

BOOL CopyFileW(const WCHAR* existing, const WCHAR* target, BOOL failIfExists) {
  if (existing == nullptr || target == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD error = CopyFileAtPaths(Utf8FromTerminatedUtf16(existing), Utf8FromTerminatedUtf16(target), failIfExists);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}

BOOL MoveFileW(const WCHAR* existing, const WCHAR* target) {
  if (existing == nullptr || target == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string fromWindows = Utf8FromTerminatedUtf16(existing), toWindows = Utf8FromTerminatedUtf16(target);
  std::optional<std::string> from = PosixPathOrFail(fromWindows);
  if (!from) return 0;
  std::optional<std::string> to = PosixPathOrFail(toWindows);
  if (!to) return 0;
  struct stat st;
  if (lstat(from->c_str(), &st) != 0) {
    SetLastErrorForPath(errno, *from);
    return 0;
  }
  if (!sharing::MayDelete(st)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return 0;
  }
  int rc = renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    /* A file system without RENAME_NOREPLACE: look first, then rename. */
    struct stat there;
    if (lstat(to->c_str(), &there) == 0) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return 0;
    }
    rc = rename(from->c_str(), to->c_str());
  }
  if (rc == 0) return 1;
  if (errno == EEXIST) {
    SetLastError(ERROR_ALREADY_EXISTS);
  } else if (errno == EXDEV && S_ISREG(st.st_mode)) {
    DWORD error = CopyFileAtPaths(fromWindows, toWindows, true);
    if (error == ERROR_SUCCESS && unlink(from->c_str()) != 0) error = Win32ErrorFromErrno(errno);
    SetLastError(error);
    return error == ERROR_SUCCESS;
  } else {
    SetLastErrorForPath(errno, *to);
  }
  return 0;
}

DWORD GetLongPathNameW(const WCHAR* shortPath, WCHAR* buffer, DWORD size) {
  if (shortPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::string> path = PosixPathOrFail(Utf8FromTerminatedUtf16(shortPath));
  if (!path) return 0;
  struct stat st;
  if (lstat(path->c_str(), &st) != 0) {
    SetLastErrorForPath(errno, *path);
    return 0;
  }
  return CopyToBuffer(std::u16string(shortPath), buffer, size);
}

/* ---- searches ------------------------------------------------------------------------- */

HANDLE FindFirstFileW(const WCHAR* windowsPattern, WIN32_FIND_DATAW* data) {
  if (windowsPattern == nullptr || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string pattern = Utf8FromTerminatedUtf16(windowsPattern);
  size_t split = pattern.find_last_of("\\/");
  std::string folderPart = split == std::string::npos ? "." : pattern.substr(0, split + 1);
  std::string namePart = split == std::string::npos ? pattern : pattern.substr(split + 1);
  std::optional<std::string> folder = PosixPathOrFail(folderPart);
  if (!folder) return INVALID_HANDLE_VALUE;
  while (folder->size() > 1 && folder->back() == '/') folder->pop_back();

  auto* search = new Search{*folder, Utf16FromUtf8(namePart), nullptr};
  if (namePart.empty()) {
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (!HasWildcards(search->pattern)) {
    if (!FillFindData(*folder, namePart, data)) {
      SetLastErrorForPath(errno, *folder + "/" + namePart);
      delete search;
      return INVALID_HANDLE_VALUE;
    }
  } else {
    search->dir = opendir(folder->c_str());
    if (search->dir == nullptr) {
      SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
      delete search;
      return INVALID_HANDLE_VALUE;
    }
    if (!NextMatch(search, data)) {
      EndSearch(search);
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
  }
  std::lock_guard<std::mutex> hold(gSearchMutex);
  LiveSearches().insert(search);
  return search;
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) {
  Search* search = LiveSearch(handle);
  if (search == nullptr || data == nullptr) {
    SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return 0;
  }
  if (search->dir == nullptr || !NextMatch(search, data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return 0;
  }
  return 1;
}

BOOL FindClose(HANDLE handle) {
  Search* search = nullptr;
  {
    std::lock_guard<std::mutex> hold(gSearchMutex);
    auto found = LiveSearches().find(static_cast<Search*>(handle));
    if (found != LiveSearches().end()) {
      search = *found;
      LiveSearches().erase(found);
    }
  }
  if (search == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  EndSearch(search);
  return 1;
}

/* ---- current and temporary folders, drives --------------------------------------------- */

DWORD GetCurrentDirectoryW(DWORD size, WCHAR* buffer) {
  std::string cwd(256, '\0');
  while (getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) {
      SetLastErrorFromErrno();
      return 0;
    }
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(cwd.find('\0'));
  return CopyToBuffer(Utf16FromUtf8(WindowsPathFromPosix(cwd)), buffer, size);
}

BOOL SetCurrentDirectoryA(const char* windowsPath) {
  if (windowsPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::string> path = PosixPathOrFail(windowsPath);
  if (!path) return 0;
  if (chdir(path->c_str()) != 0) {
    SetLastErrorForPath(errno, *path);
    return 0;
  }
  return 1;
}

DWORD GetTempPathW(DWORD size, WCHAR* buffer) {
  std::string folder = "/tmp";
  const char* tmpdir = getenv("TMPDIR");
  struct stat st;
  if (tmpdir != nullptr && tmpdir[0] == '/' && stat(tmpdir, &st) == 0 && S_ISDIR(st.st_mode)) folder = tmpdir;
  std::string windows = WindowsPathFromPosix(folder);
  if (windows.back() != '\\') windows += '\\';
  return CopyToBuffer(Utf16FromUtf8(windows), buffer, size);
}

DWORD GetLogicalDrives() { return DWORD(1) << ('Z' - 'A'); }

DWORD GetLogicalDriveStringsA(DWORD size, char* buffer) {
  static const char kDrives[] = "Z:\\\0"; /* and the array's own terminator */
  const DWORD length = sizeof kDrives - 1;
  if (buffer == nullptr || size < length + 1) return length + 1;
  for (DWORD i = 0; i <= length; i++) buffer[i] = kDrives[i];
  return length;
}

} // namespace quendal::platform
