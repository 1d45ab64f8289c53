/*
** Native paths of FolderItems: parsing, normalising and validating a path
** text, the application folder relative paths are read against, and the
** URL form.
**
** A native path, as a FolderItemImpWin32 stores it, is absolute, UTF-8,
** uses "\" only, has no trailing "\" (a root is "Z:" or "\\server\share"),
** no empty, "." or ".." components, and an upper-case drive letter.  On
** this host drive Z: is the POSIX root, so "/home/me/plan.apd" (a rooted
** path: "/" reads as "\") and "Z:\home\me\plan.apd" name the same file.
**
** Parsing (ParseNativePath):
**   1. a zero byte makes the path invalid; "/" reads as "\";
**   2. a path is absolute when its second character is ":" or it begins
**      with "\\"; a drive-relative one ("Z:name") is read against the
**      current folder when that lies on the same drive;
**   3. a relative path is read against the application folder: one that
**      begins with "\" keeps only the folder's drive, any other is joined
**      to the folder with "\";
**   4. "." and ".." components are resolved by the text alone (".." of a
**      root stays at the root), as Win32 does, and the path goes through
**      GetLongPathNameW;
**   5. the root flag is set for a drive alone and for "\\server\share";
**   6. (trailing "\" are already gone);
**   7. with validation, GetFileAttributesW of the path (of "X:\" for a
**      drive) must succeed or fail with ERROR_FILE_NOT_FOUND or
**      ERROR_NOT_READY: a missing file in an existing folder is valid, a
**      path into a missing folder is not.
*/
#ifndef QUENDAL_FILES_FOLDER_PATHS_H
#define QUENDAL_FILES_FOLDER_PATHS_H

#include <optional>
#include <string>
#include <string_view>

namespace quendal {

struct NativePath {
  std::string path;
  bool root;
};

enum class PathValidation { kValidate, kNone };

/* A path text (UTF-8) made a native path; nullopt when invalid. */
std::optional<NativePath> ParseNativePath(std::string_view text, PathValidation validation);

/* The application folder as a native path (no trailing "\"). */
std::string ApplicationFolder();

/* True for a shell path that names its drive: "X:...", "\\..." or, on
** this one-drive host, a rooted "\..." ("/" read as "\"). */
bool IsAbsoluteShellPath(std::string_view text);

/* The native path text of a "file:" URL (percent escapes decoded), or
** nullopt for another scheme or no scheme. */
std::optional<std::string> PathTextOfURL(std::string_view url);

/* The "file:" URL of a native path ("file:///home/me/a%20b.txt"; a
** folder's ends with "/"). */
std::string URLOfNativePath(const std::string& path, bool directory);

/* The last component ("Z:" for a drive root) and everything before it
** (without the separator). */
std::string LastPathComponent(const std::string& path);
std::string PathFolderPart(const std::string& path);

} // namespace quendal

#endif
