/*
** Shell services: the user's special folders and opening files.
**
** Special folders (SpecialFolderPath), by CSIDL value, as Windows paths
** on drive Z:.  The home folder is HOME when it is an absolute path, else
** the user database's entry.  Folders of the XDG user directories come
** from "user-dirs.dirs" in the configuration home (a value "$HOME/..." or
** an absolute path), else from the environment variable of the same name
** (XDG_DESKTOP_DIR, ...); a folder that is not configured, or that does
** not exist, is the home folder, as the XDG tools have it.
**   CSIDL_DESKTOPDIRECTORY (16)   XDG_DESKTOP_DIR
**   CSIDL_PERSONAL (5)            XDG_DOCUMENTS_DIR   (Documents)
**   CSIDL_MYMUSIC (13)            XDG_MUSIC_DIR
**   CSIDL_MYPICTURES (39)         XDG_PICTURES_DIR
**   CSIDL_TEMPLATES (21)          XDG_TEMPLATES_DIR
**   CSIDL_APPDATA (26)            the configuration home: XDG_CONFIG_HOME
**                                 when absolute, else HOME/.config
**                                 (Application Data and Preferences)
** The temporary folder is GetTempPathW's (files.h).  Every other CSIDL
** names nothing on this host: false with ERROR_FILE_NOT_FOUND.  Nothing
** is created: a folder may be named that does not exist yet.
**
** ShellExecuteW opens file as the desktop would: an executable file runs
** with the parameters (split by the Windows command-line rules); anything
** else is handed to "xdg-open" (parameters unused).  The program is
** started detached (a new session, not a child this process must wait
** for) in the given folder (null: the current one).  The result is
** greater than 32 on success; otherwise SE_ERR_FNF (2) for a file that
** does not exist, SE_ERR_NOASSOC (31) when no opener can be started, with
** the last error set.  The operation and show arguments are ignored.
*/
#ifndef QUENDAL_PLATFORM_SHELL_H
#define QUENDAL_PLATFORM_SHELL_H

#include <cstdint>
#include <string>

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

enum : int {
  CSIDL_PERSONAL = 5,
  CSIDL_MYMUSIC = 13,
  CSIDL_DESKTOPDIRECTORY = 16,
  CSIDL_TEMPLATES = 21,
  CSIDL_APPDATA = 26,
  CSIDL_MYPICTURES = 39,
};

enum : intptr_t { SE_ERR_FNF = 2, SE_ERR_NOASSOC = 31 };

bool SpecialFolderPath(int csidl, std::string* windowsPath);

intptr_t ShellExecuteW(void* window, const WCHAR* operation, const WCHAR* file, const WCHAR* parameters,
                       const WCHAR* directory, int show);

} // namespace quendal::platform

#endif
