/*
** File services this host has and Win32 has not: symbolic links as
** shortcuts, POSIX permission bits, and file owners.  Paths are Windows
** paths (paths.h); failures set the last error as the Win32-shaped
** services do.
**
** Shortcuts.  A symbolic link is this host's shortcut: its target is the
** link's text, read against the link's own folder when relative, and
** followed through further links (at most 40; a longer chain or a loop
** fails with ERROR_CANT_RESOLVE_FILENAME).  Only the last component is
** followed: links among the folders of the path stay as they are.
**
** Owners and groups are exchanged as names (UTF-8); a user or group
** without a name is shown as its number.
*/
#ifndef QUENDAL_PLATFORM_HOST_FILES_H
#define QUENDAL_PLATFORM_HOST_FILES_H

#include <string>

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

/* The Windows path the shortcut at path leads to, or false: with
** ERROR_NOT_A_REPARSE_POINT when path is no shortcut, or the error of the
** failed look-up. */
bool GetShortcutTarget(const std::string& windowsPath, std::string* target);

/* POSIX permission bits (07777) of the file or folder (links followed). */
bool GetFilePermissions(const std::string& windowsPath, DWORD* mode);
bool SetFilePermissions(const std::string& windowsPath, DWORD mode);

/* Owner (group false) or group (group true) of the file, as a name. */
bool GetFileOwner(const std::string& windowsPath, bool group, std::string* name);
/* Gives the file to the named user or group (or number); an unknown name
** fails with ERROR_INVALID_PARAMETER. */
bool SetFileOwner(const std::string& windowsPath, bool group, const std::string& name);

} // namespace quendal::platform

#endif
