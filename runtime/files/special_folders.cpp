/*
** Special folders and volumes.
**
** A selector (1000 + n) maps to a CSIDL value, to the temporary folder or
** to the current folder; the CSIDL is asked of the platform's shell
** (runtime/platform/shell.h), which names the folders this host has:
** Desktop, Documents, Music, Pictures, Templates from the XDG user
** directories, Application Data and Preferences in the configuration home.
** Every other folder (fonts, system, recycle bin, ...) has no counterpart
** here and gives nil rather than a folder that would mislead.  Results are
** native paths parsed without validation: a special folder may not exist
** yet.
**
** Volumes: the drives of GetLogicalDrives, in letter order (only Z: here).
*/
#include <bit>

#include "runtime/files/folder_item.h"
#include "runtime/files/folder_item_host.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/paths.h"
#include "runtime/platform/shell.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

enum : int32_t {
  kNoFolder = -1,
  kTemporaryFolder = -2,
  kCurrentFolder = -3,
};

/* CSIDL (or one of the values above) of selectors 1000 .. 1047. */
const int32_t kSelectorFolders[48] = {
    kNoFolder,        /* 1000 Trash: no recycle-bin item here */
    kTemporaryFolder, /* 1001 */
    20, 26, kNoFolder, 7, 26, 37, kNoFolder, 16,   /* 1002 .. 1009 */
    5, 2, 37, 35, 25, 6, 31, 46, 33, 34,           /* 1010 .. 1019 */
    32, 13, 39, 38, 43, 8, 9, 36, 36, 24,          /* 1020 .. 1029 */
    21, 45, 19, 27,                                /* 1030 .. 1033 */
    kNoFolder, kNoFolder, kNoFolder, kNoFolder, kNoFolder, kNoFolder, /* 1034 .. 1039 */
    kNoFolder, kNoFolder, kNoFolder, kNoFolder, kNoFolder, kNoFolder, /* 1040 .. 1045 */
    35,                                            /* 1046 SharedPreferences */
    kCurrentFolder,                                /* 1047 */
};

FolderItemImpWin32* TemporaryFolder() {
  p::WCHAR buffer[1024];
  p::DWORD n = p::GetTempPathW(1024, buffer);
  if (n == 0 || n >= 1024) return nullptr;
  return FolderItemImpWin32::FromTrustedPath(p::Utf8FromUtf16(buffer, n));
}

FolderItemImpWin32* CurrentFolder() {
  p::WCHAR buffer[4096];
  p::DWORD n = p::GetCurrentDirectoryW(4096, buffer);
  if (n == 0 || n >= 4096) return nullptr;
  return FolderItemImpWin32::FromTrustedPath(p::Utf8FromUtf16(buffer, n));
}

FolderItemImpWin32* CsidlFolder(int32_t csidl) {
  std::string path;
  if (!p::SpecialFolderPath(csidl, &path)) return nullptr;
  return FolderItemImpWin32::FromTrustedPath(path);
}

FolderItemObject* Wrapped(FolderItemImpWin32* imp) { return WrapFolderItemImp(imp); }

} // namespace

FolderItemImpWin32* SpecialFolderImp(int32_t selector) {
  if (selector < 1000 || selector > 1047) return nullptr;
  switch (int32_t folder = kSelectorFolders[selector - 1000]) {
    case kNoFolder: return nullptr;
    case kTemporaryFolder: return TemporaryFolder();
    case kCurrentFolder: return CurrentFolder();
    default: return CsidlFolder(folder);
  }
}

} // namespace quendal

using namespace quendal;

#define QUENDAL_FOLDER_SERVICE(name, expression)   \
  QUENDAL_SERVICE FolderItemObject* name() {        \
    QUENDAL_SERVICE_BEGIN                           \
    return Wrapped(expression);                     \
    QUENDAL_SERVICE_END(nullptr)                    \
  }

QUENDAL_SERVICE FolderItemObject* GetSpecialFolder(int32_t selector) {
  QUENDAL_SERVICE_BEGIN
  return Wrapped(SpecialFolderImp(selector));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* GetSpecialFolderFromCode(ORVAstring code) {
  QUENDAL_SERVICE_BEGIN
  return Wrapped(SpecialFolderImp(int32_t(StringToOSType(code))));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_FOLDER_SERVICE(getDesktopFolder, CsidlFolder(p::CSIDL_DESKTOPDIRECTORY))
QUENDAL_FOLDER_SERVICE(getPreferencesFolder, CsidlFolder(p::CSIDL_APPDATA))
QUENDAL_FOLDER_SERVICE(getApplicationSupportFolder, CsidlFolder(p::CSIDL_APPDATA))
QUENDAL_FOLDER_SERVICE(getTemporaryItemsFolder, TemporaryFolder())
QUENDAL_FOLDER_SERVICE(GetDocumentsFolder, CsidlFolder(p::CSIDL_PERSONAL))
QUENDAL_FOLDER_SERVICE(getFontsFolder, CsidlFolder(20))
QUENDAL_FOLDER_SERVICE(getStartupItemsFolder, CsidlFolder(7))
QUENDAL_FOLDER_SERVICE(getAppleMenuFolder, CsidlFolder(2))
QUENDAL_FOLDER_SERVICE(getControlPanelsFolder, CsidlFolder(3))

/* The system folder, the shutdown items and the recycle bin have no
** counterpart on this host. */
extern "C" FolderItemObject* getSystemFolder() { return nullptr; }
extern "C" FolderItemObject* getExtensionsFolder() { return nullptr; }
extern "C" FolderItemObject* getShutdownItemsFolder() { return nullptr; }
extern "C" FolderItemObject* getTrashFolder() { return nullptr; }

extern "C" int32_t getVolumeCount() { return std::popcount(p::GetLogicalDrives()); }

QUENDAL_SERVICE FolderItemObject* getVolume(int32_t index) {
  QUENDAL_SERVICE_BEGIN
  p::DWORD drives = p::GetLogicalDrives();
  for (int letter = 0; letter < 26; letter++) {
    if (!(drives & (1u << letter)) || index-- != 0) continue;
    return Wrapped(FolderItemImpWin32::FromTrustedPath(std::string(1, char('A' + letter)) + ":"));
  }
  return nullptr;
  QUENDAL_SERVICE_END(nullptr)
}
