/*
** Path forms.  The runtime speaks Windows paths; the host speaks POSIX.
**
** Drive Z: is the POSIX root: "Z:\home\u\f.txt" is "/home/u/f.txt".  In a
** native path "/" reads as "\".  A relative Windows path ("a\b.txt") stays
** relative ("a/b.txt"), and so does a drive-relative one ("Z:a" is "a",
** "Z:" alone is "."); a rooted one ("\a") lies on Z:.  The drive letter
** may be of either case.  Other drive letters and UNC paths ("\\srv\s")
** name nothing on this host: callers report ERROR_PATH_NOT_FOUND.
*/
#ifndef QUENDAL_PLATFORM_PATHS_H
#define QUENDAL_PLATFORM_PATHS_H

#include <string>
#include <optional>

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

/* Windows path (UTF-8) to POSIX path; nullopt for a drive other than Z:,
** a UNC path, or text holding a zero byte. */
std::optional<std::string> PosixPathFromWindows(const std::string& windowsPath);

/* POSIX path to Windows path: absolute paths gain "Z:", "/" becomes "\". */
std::string WindowsPathFromPosix(const std::string& posixPath);

/* UTF-16 <-> UTF-8 for path text (unpaired surrogates become U+FFFD). */
std::string Utf8FromUtf16(const WCHAR* text, size_t units);
std::u16string Utf16FromUtf8(const std::string& text);

} // namespace quendal::platform

#endif
